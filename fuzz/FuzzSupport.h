// What every fuzz target does first: a quiet, fixed configuration on its thread, so that
// each input is judged on its own.
#pragma once

#include <cstdint>

#include "common/AnswerLimit.h"
#include "common/RequestState.h"
#include "formats/AnswerDispatch.h"
#include "session/Session.h"
#include "support/Sandbox.h"

namespace trellybridge::fuzzing {

// The request every input is read into; made once, as the sandbox.
inline RequestState& request() {
    static RequestState* state = new RequestState;
    return *state;
}

inline void prepare(const char* format, const char* bridge) {
    // Made once and kept to the end of the process: the per-thread facilities it sets
    // are gone before a static would be destroyed.
    static testing::Sandbox* sandbox = new testing::Sandbox({"trellybridge-fuzz", true, nullptr});
    (void)sandbox;
    RequestState& state = request();
    state = RequestState{};
    testing::answerReadingSettings(state.config, format, bridge);
}

// The first byte picks settings that change how the rest is read.
inline void varySettings(std::uint8_t choice) {
    BridgeConfiguration& c = request().config;
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

// The target of one answer format: the first byte picks the settings, the rest is the
// answer, read through the dispatcher into the thread's record and shown as a session
// shows an answer that held no patient.
inline int readAnswer(const char* format, const std::uint8_t* data, size_t size) {
    if (size < 1) return 0;
    prepare(format, "FOLDERS");
    varySettings(data[0]);
    std::string answer(reinterpret_cast<const char*>(data) + 1, size - 1);
    const BridgeConfiguration& config = request().config;
    formats::ParseResult result =
        formats::dispatchAnswer(answer, config, session::parseContext(request()));
    request().reasons().record(result.notices);
    if (result.next == formats::NextStep::ShowAnswerAndEnd)
        answerForDisplay(formats::trimmedForDisplay(answer, config));
    return 0;
}

}  // namespace trellybridge::fuzzing
