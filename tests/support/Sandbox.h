// A quiet, headless world for requests that must touch nothing of the user's: drive C
// in a temporary folder, settings in memory, a headless toolkit that shows nothing, and
// optionally a virtual clock, on a thread that starts as new. Undone when it goes. Tests
// (through TestEnvironment), benchmarks and fuzz targets share it (it needs no test
// framework).
#pragma once

#include <memory>
#include <string>

#include "common/BridgeConfiguration.h"
#include "common/RequestState.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/Toolkit.h"

namespace trellybridge::testing {

class Sandbox {
public:
    struct Options {
        const char* name = "trellybridge-sandbox";  // the temporary folder's prefix
        bool virtualClock = false;
        std::shared_ptr<ui::Toolkit> toolkit;  // a quiet HeadlessToolkit when not given
        platform::Clock* clock = nullptr;      // installed instead of a virtual clock of its own
        bool ownDriveC = true;  // false: drive C is the caller's, no temporary folder is made
    };
    Sandbox() : Sandbox(Options{}) {}
    explicit Sandbox(Options options);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& driveC() const { return folder_; }
    platform::MemorySettingsStore& settings() { return *settings_; }
    const std::shared_ptr<platform::MemorySettingsStore>& settingsStore() const {
        return settings_;
    }

private:
    std::string folder_;
    std::shared_ptr<platform::MemorySettingsStore> settings_;
    std::unique_ptr<platform::VirtualClock> clock_;
    bool clockInstalled_ = false;
};

// The settings an answer is read with when nothing else matters: the given format over
// FOLDERS, CR lines, "~" at the end, no boxes, case-blind, no keywords or company length,
// patient 12345.
void answerReadingSettings(BridgeConfiguration& config, const char* format,
                           const char* bridge = "FOLDERS");

// The answer through the dispatcher, as a request reads it: into the thread's record,
// the found flag kept as the session keeps it. Whether a patient was found.
bool dispatch(RequestState& state, const std::string& answer);

}  // namespace trellybridge::testing
