#include "support/Sandbox.h"

#include "common/RequestState.h"
#include "formats/AnswerDispatch.h"
#include "platform/FileSystem.h"
#include "platform/ThreadContext.h"
#include "session/Session.h"

namespace trellybridge::testing {

Sandbox::Sandbox(Options options)
    : folder_(options.ownDriveC ? fs::makeTemporaryFolder(options.name) : ""),
      settings_(std::make_shared<platform::MemorySettingsStore>()) {
    platform::resetThreadContext();
    if (options.ownDriveC) fs::mapDrive('C', folder_);
    platform::setSettingsStore(settings_);
    ui::setToolkit(options.toolkit ? options.toolkit : std::make_shared<ui::HeadlessToolkit>());
    if (options.virtualClock && !options.clock) {
        clock_ = std::make_unique<platform::VirtualClock>();
        options.clock = clock_.get();
    }
    if (options.clock) platform::setClock(options.clock);
    clockInstalled_ = options.clock != nullptr;
}

Sandbox::~Sandbox() {
    if (clockInstalled_) platform::setClock(nullptr);
    ui::setToolkit(nullptr);
    platform::setSettingsStore(nullptr);
    if (folder_.empty()) return;
    fs::mapDrive('C', "");
    fs::removeTree(folder_);
}

void answerReadingSettings(BridgeConfiguration& c, const char* format, const char* bridge) {
    c.VendorFormatType = format;
    c.NetworkBridgeType = bridge;
    c.PatientID = "12345";
    c.EOLCharacter = "13";
    c.EOFCharacter = "126";
    c.DisplayDebugger = "false";
    c.CaseSensitivity = "false";
    c.MEDICNumberLength = kInvalidMarker;
    c.HTTPSSubjectCN = kInvalidMarker;
}

bool dispatch(RequestState& state, const std::string& answer) {
    state.settings = readRequestSettings(state.config);
    formats::ParseResult result =
        formats::dispatchAnswer(answer, state.config, session::parseContext(state));
    state.settings.reset();
    session::showMessageBoxes(result);
    state.reasons().record(result.notices);
    state.patientFound = result.found.value_or(state.patientFound);
    state.session.identifierMatch = result.identifierMatch;
    if (!state.patientFound)
        formats::noteNoPatient(result.problem, "the answer", state.config.PatientID.toText(),
                               state.reasons());
    return state.patientFound;
}

}  // namespace trellybridge::testing
