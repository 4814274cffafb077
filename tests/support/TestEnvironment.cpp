#include "support/TestEnvironment.h"

#include "component/LastRequest.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "session/ProgressWindow.h"
#include "settings/Settings.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace trellybridge::testing {

void RecordingToolkit::runModal(ui::Window& window) {
    ++modalRuns;
    window.load();
    loopTurns = 0;
    for (int turn = 0; window.isLoaded(); ++turn) {
        loopTurns = turn + 1;
        loopCutShort = turn == kMaxLoopTurns;
        if (loopCutShort || !ui::EventLoop::current().runOnce()) window.unload();
    }
}

GetPatientArguments pageDefaultArguments(bool tcpPage) {
    BridgeConfiguration c;
    SessionState unused;
    for (auto restore : {settings::restoreCommonDefaults, settings::restoreMEDICDefaults,
                         settings::restoreHISDefaults, settings::restoreHTTPSDefaults,
                         settings::restoreNetworkDefaults, settings::restoreSerialDefaults,
                         settings::restoreMoreSerialDefaults})
        restore(c);
    if (tcpPage) settings::restoreTcpDefaults(c, unused);
    GetPatientArguments arguments;
#define TRELLYBRIDGE_COPY(name) arguments.name = c.name;
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_COPY)
#undef TRELLYBRIDGE_COPY
    return arguments;
}

RequestState& threadRequest() {
    return lastRequest();
}

void TestEnvironment::SetUp() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "trellybridge-test-XXXXXX").string();
    root = ::mkdtemp(pattern.data());
    driveC = root / "drive_c";
    std::filesystem::create_directories(driveC);
    ::setenv("TRELLYBRIDGE_DRIVE_C", driveC.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    // Removable media come from the test's folder, never from the machine's mounts.
    fs::setRemovableMediaRoot((root / "mounts").string());
    toolkit = std::make_shared<RecordingToolkit>();
    sandbox_.emplace(Sandbox::Options{"", false, toolkit, &clock, false});
    store = sandbox_->settingsStore();
}

void TestEnvironment::onNewThread(const std::function<void()>& body) {
    std::thread([&] {
        ui::setToolkit(toolkit);
        platform::setClock(&clock);
        body();
    }).join();
}

void TestEnvironment::TearDown() {
    sandbox_.reset();
    ::unsetenv("TRELLYBRIDGE_DRIVE_C");
    fs::setRemovableMediaRoot("");
    std::error_code error;
    std::filesystem::remove_all(root, error);
}

void TestEnvironment::prepareToReadAnswers() {
    BridgeConfiguration& c = threadRequest().config;
    c.EOLCharacter = "13";
    c.EOFCharacter = "126";
    c.DisplayDebugger = "false";
    c.NetworkBridgeType = "FOLDERS";
    session::progressWindow().serve(threadRequest());
    session::progressWindow().load();
}

void TestEnvironment::writeDriveCFile(const std::string& relative,
                                      const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(onDriveC(relative)).parent_path());
    std::ofstream(onDriveC(relative), std::ios::binary) << content;
}

std::string unescape(const std::string& text) {
    static constexpr std::string_view kFrom = "rnts\\", kTo = "\r\n\t \\";
    auto hex = [&text](size_t at) { return std::isxdigit(static_cast<unsigned char>(text[at])); };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t at = i + 1 < text.size() && text[i] == '\\' ? kFrom.find(text[i + 1]) : kFrom.npos;
        if (at != kFrom.npos) {
            out += kTo[at];
            ++i;
        } else if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() && hex(i + 2) &&
                   hex(i + 3)) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string readHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

unsigned TestEnvironment::modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

std::string TestEnvironment::readDriveCFile(const std::string& relative) const {
    return readHostFile(onDriveC(relative));
}

}  // namespace trellybridge::testing
