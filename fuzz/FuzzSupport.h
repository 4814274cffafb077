// What every fuzz target does first: a quiet, fixed configuration on its thread, so that
// each input is judged on its own.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/AnswerLimit.h"
#include "common/ThreadState.h"
#include "formats/AnswerDispatch.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "platform/Toolkit.h"

namespace trellybridge::fuzzing {

inline void prepare(const char* format, const char* bridge) {
    static bool once = [] {
        static platform::VirtualClock clock;
        platform::setClock(&clock);
        platform::setSettingsStore(std::make_shared<platform::MemorySettingsStore>());
        ui::setToolkit(std::make_shared<ui::HeadlessToolkit>());
        fs::mapDrive('C', fs::makeTemporaryFolder("trellybridge-fuzz"));
        return true;
    }();
    (void)once;
    ThreadState& state = threadState();
    state = ThreadState{};
    BridgeConfiguration& c = state.config;
    c.VendorFormatType = format;
    c.NetworkBridgeType = bridge;
    c.PatientID = "12345";
    c.EOLCharacter = "13";
    c.EOFCharacter = "126";
    c.DisplayDebugger = "false";
    c.CaseSensitivity = "false";
    c.MEDICNumberLength = "<INVALID!>";
    c.HTTPSSubjectCN = "<INVALID!>";
}

// The first byte picks settings that change how the rest is read.
inline void varySettings(std::uint8_t choice) {
    BridgeConfiguration& c = threadState().config;
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

// The answer through the dispatcher into the thread's record, and shown as a session
// shows an answer that held no patient.
inline void dispatch(std::string answer) {
    const BridgeConfiguration& config = threadState().config;
    formats::ParseResult result =
        formats::dispatchAnswer(answer, config, formats::threadParseContext());
    if (result.next == formats::NextStep::ShowAnswerAndEnd)
        answerForDisplay(formats::trimmedForDisplay(answer, config));
}

}  // namespace trellybridge::fuzzing
