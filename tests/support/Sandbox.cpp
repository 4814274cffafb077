#include "support/Sandbox.h"

#include "platform/FileSystem.h"

namespace trellybridge::testing {

Sandbox::Sandbox(Options options)
    : folder_(fs::makeTemporaryFolder(options.name)),
      settings_(std::make_shared<platform::MemorySettingsStore>()) {
    fs::mapDrive('C', folder_);
    platform::setSettingsStore(settings_);
    ui::setToolkit(options.toolkit ? options.toolkit : std::make_shared<ui::HeadlessToolkit>());
    if (options.virtualClock) {
        clock_ = std::make_unique<platform::VirtualClock>();
        platform::setClock(clock_.get());
    }
}

Sandbox::~Sandbox() {
    if (clock_) platform::setClock(nullptr);
    ui::setToolkit(nullptr);
    platform::setSettingsStore(nullptr);
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

}  // namespace trellybridge::testing
