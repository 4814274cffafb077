// What every fuzz target does first: a quiet, fixed configuration on its thread, so that
// each input is judged on its own.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "common/AnswerLimit.h"
#include "common/RequestState.h"
#include "formats/AnswerDispatch.h"
#include "session/Session.h"
#include "support/Sandbox.h"

namespace trellybridge::fuzzing {

// The request every input is read into; made once, as the sandbox is.
inline RequestState& request() {
    static RequestState* state = new RequestState;
    return *state;
}

inline void enterSandbox() {
    // Made once and kept to the end of the process: the per-thread facilities it sets
    // are gone before a static would be destroyed.
    [[maybe_unused]] static auto* sandbox =
        new testing::Sandbox({"trellybridge-fuzz", true, nullptr});
}

// One byte picks settings that change how the rest is read.
inline void varySettings(BridgeConfiguration& c, std::uint8_t choice) {
    static const char* kKeywords[] = {
        "",
        "{NO INS}",
        "{ONE INS ONLY}{REMOVE QUOTES}",
        "{USE IN1 FOR GT1}{KXRA}{M}",
        "{USE PID FOR GT1}{NO DOCTOR}{NO PATIENT SSN}",
        "{USE IN2.61 FOR POLICY}{USE IN1.9 FOR INSURANCE NAME}{REMOVE EXTRA PHONE NUMBERS}",
        "{CHANGE LF TO CR}{COPY PT ADDRESS TO GT}",
        "{USE IN1 FOR GT1 NAME ONLY}{SUPPRESS COMPANY NUMBER}"};
    c.HTTPSSubjectCN = kKeywords[choice % 8];
    c.medicCompanyMode = choice & 8;
    if (choice & 16) c.MEDICNumberLength = "3";
    if (choice & 32) c.NetworkBridgeType = "TCPIP";
    if (choice & 64) c.EOLCharacter = "10";
    if (choice & 128) c.CaseSensitivity = "true";
}

// The thread's request, fresh, with the settings the tests read answers with, varied by
// the settings byte `choice` (none when negative), and read once as a prepared request's.
// Each is made once and copied for each input: the copy writes into the storage the last
// input left, where making one anew allocated every text again and reading the settings
// took a tenth of an HL7 input's time.
inline void prepare(const char* format, const char* bridge, int choice = -1) {
    enterSandbox();
    using Key = std::tuple<std::string, std::string, int>;
    static auto& made = *new std::map<Key, RequestState>;
    auto [kept, added] = made.try_emplace({format, bridge, choice});
    if (added) {
        RequestState& fresh = kept->second;
        testing::answerReadingSettings(fresh.config, format, bridge);
        if (choice >= 0) varySettings(fresh.config, static_cast<std::uint8_t>(choice));
        fresh.settings = readRequestSettings(fresh.config);
    }
    request() = kept->second;
}

// An answer target's input is the answer as a vendor sends it, then the byte that picks
// the settings: a format case or a real message is a seed as it stands. Without a format,
// the answer is read in the one it looks like.
inline std::string answerOf(const char* format, const std::uint8_t* data, size_t size) {
    std::string sent(reinterpret_cast<const char*>(data), size > 0 ? size - 1 : 0);
    if (!format)
        format = sent.find("PID|") != sent.npos      ? "HL7"
                 : sent.find('<') != sent.npos       ? "XML"
                 : formats::standardFromHeader(sent) ? "STANDARD"
                                                     : "SCAN";
    prepare(format, "FOLDERS", size > 0 ? data[size - 1] : -1);
    return sent;
}

// The answer read by `parser` into the thread's record, as a request reads it.
template <typename Parser>
formats::ParseResult readWith(Parser parser, std::string_view answer) {
    return parser(answer, request().config, session::parseContext(request()));
}

}  // namespace trellybridge::fuzzing
