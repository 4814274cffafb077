#include <gtest/gtest.h>

#include <string>

#include "ui-qt/Ansi.h"

namespace trellybridge {
namespace {

TEST(Ansi, WindowTextBreaksLinesAndShowsOtherControlsEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x0BMSH|1\rPID|2\r\x1C\r", "\\x0BMSH|1\nPID|2\n\\x1C\n"},  // an HL7 answer
        {"a\r\nb\nc", "a\nb\nc"},
        {"tab\there\x7F", "tab\\x09here\\x7F"},
        {"caf\xE9", "caf\xC3\xA9"},
    };
    for (const auto& [ansi, shown] : cases) EXPECT_EQ(ui::shownWindowText(ansi), shown);
}

TEST(Ansi, ConvertsByTheWindowsTable) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x80", "\xE2\x82\xAC"},  // euro sign
        {"\xE9", "\xC3\xA9"},      // e acute
        {"\x99", "\xE2\x84\xA2"},  // trade mark
        {"\x81", "\xC2\x81"},      // undefined: kept as the C1 control
    };
    for (const auto& [ansi, utf8] : cases) {
        EXPECT_EQ(ui::ansiToUtf8(ansi), utf8);
        EXPECT_EQ(ui::utf8ToAnsi(utf8), ansi);
    }
    EXPECT_EQ(ui::utf8ToAnsi("\xE4\xB8\xAD x"), "? x") << "not in the code page";
    EXPECT_EQ(ui::utf8ToAnsi("\xC3"), "?") << "cut short";
    std::string all;
    for (int b = 1; b <= 0xFF; ++b) all += static_cast<char>(b);
    EXPECT_EQ(ui::utf8ToAnsi(ui::ansiToUtf8(all)), all) << "every byte survives the round trip";
}

}  // namespace
}  // namespace trellybridge
