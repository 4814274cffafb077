// A clean world for each test: the Sandbox with drive C in the test's temporary folder
// (named in the environment, so programs the test runs find it too), a virtual clock at a
// fixed time, a toolkit that records what it was asked to show, and the thread as new.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/RequestState.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/Toolkit.h"
#include "support/Sandbox.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::testing {

class RecordingToolkit : public ui::HeadlessToolkit {
public:
    RecordingToolkit() {
        setProgressSink([this](ui::ProgressKind kind, std::string_view line) {
            (kind == ui::ProgressKind::MessageBox ? messageBoxes : progressLines)
                .emplace_back(line);
            if (kind == ui::ProgressKind::Log)
                timedLog.push_back({platform::clock().tickCount(), std::string(line)});
        });
    }
    // Records the page; with `onPage`, lets the test work the page as a user would.
    void showPropertyPage(ui::PropertyPage& page) override {
        pagesShown.emplace_back(page.name());
        if (onPage) onPage(page);
    }
    std::function<void(ui::PropertyPage&)> onPage;
    // As the headless loop, but a session that never ends fails its test instead of
    // hanging the suite: the loop gives up after kMaxLoopTurns turns.
    void runModal(ui::Window& window) override;
    static constexpr int kMaxLoopTurns = 200000;
    bool loopCutShort = false;
    int loopTurns = 0;  // turns of the last modal loop

    std::vector<std::string> pagesShown;
    std::vector<std::string> progressLines;
    std::vector<std::string> messageBoxes;
    std::vector<std::pair<int, std::string>> timedLog;  // each log line and when it came
    // When the first log line starting with `prefix` was written, or -1.
    int firstLogAt(std::string_view prefix) const {
        for (const auto& [atMs, line] : timedLog)
            if (line.starts_with(prefix)) return atMs;
        return -1;
    }
    int modalRuns = 0;

    // Whether a progress line reads exactly `line`.
    bool showedLine(std::string_view line) const {
        return std::find(progressLines.begin(), progressLines.end(), line) != progressLines.end();
    }
    // Whether a progress line (or, with `orBox`, a message box) holds `part`.
    bool showedText(std::string_view part, bool orBox = false) const {
        for (const auto* lines : {&progressLines, &messageBoxes})
            for (const std::string& line : *lines)
                if ((lines == &progressLines || orBox) && line.find(part) != line.npos) return true;
        return false;
    }
};

// How often `part` occurs in `text`, overlaps counted.
inline int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Test data text with its escapes undone: \r, \n, \t, \s (a space), \\ and \xHH (a byte).
std::string unescape(const std::string& text);

// The bytes of a file on the host ("" when it cannot be read).
std::string readHostFile(const std::filesystem::path& path);

// What the settings pages restore as defaults, as GetPatient arguments: where a site starts
// from. TCP/IP's page (which also clears the session's local address) only with `tcpPage`.
GetPatientArguments pageDefaultArguments(bool tcpPage = false);

// What the thread's requests carry from one to the next, as the component keeps it: a
// test reads what the last request left there, or sets what the next one starts from.
RequestState& threadRequest();

class TestEnvironment : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The settings answers are read with in these tests (CR lines, "~" at the end, no
    // boxes, files bridge), and the progress window loaded to dispatch them.
    void prepareToReadAnswers();
    // Runs `body` on a thread of its own, as a host that calls from a new thread: it starts
    // from nothing an earlier request left, and shows on this test's toolkit and clock.
    void onNewThread(const std::function<void()>& body);

    // The host path of a file on the test's drive C.
    std::string onDriveC(const std::string& relative) const { return (driveC / relative).string(); }
    void writeDriveCFile(const std::string& relative, const std::string& content) const;
    std::string readDriveCFile(const std::string& relative) const;
    // The permission bits of `path` itself (a link is not followed); 0 when it is missing.
    static unsigned modeOf(const std::filesystem::path& path);

    std::filesystem::path root;
    std::filesystem::path driveC;
    platform::VirtualClock clock{{2026, 12, 6, 9, 41, 7}};
    std::shared_ptr<platform::MemorySettingsStore> store;
    std::shared_ptr<RecordingToolkit> toolkit;

private:
    std::optional<Sandbox> sandbox_;
};

// A request `a` (each fixture starts it from vendorsim::sampleRequest) and calls that fail
// their test when the session never ends.
class RequestFixture : public TestEnvironment {
protected:
    bool fetch() {
        bool found = comm.GetPatient(a).isTrue();
        EXPECT_FALSE(toolkit->loopCutShort) << "the session never ended";
        return found;
    }
    std::string search(const std::string& request) {
        std::string result = comm.GetPatientData(request);
        EXPECT_FALSE(toolkit->loopCutShort) << "the session never ended";
        return result;
    }
    GetPatientArguments a;
    TrellyBridgeComm comm;
};

}  // namespace trellybridge::testing
