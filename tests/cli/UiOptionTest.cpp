#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Cli.h"
#include "cli/CliFixture.h"
#include "support/RunProgram.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

// Without a display the windows cannot be shown: the request runs headless and says why,
// whether the toolkit came from --ui or from TRELLYBRIDGE_UI.
TEST(UiOption, QtWithoutADisplayRunsHeadlessAndSaysWhy) {
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    const std::vector<std::string> request =
        testing::withSets({TRELLYBRIDGE_CLI_PATH, "get-patient"}, testing::kEndsAtOnce);
    struct Case {
        const char* what;
        std::vector<std::string> extraArguments, extraEnvironment;
    };
    const Case cases[] = {
        {"option", {"--ui", "qt"}, {}},
        {"environment", {}, {"TRELLYBRIDGE_UI=qt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::ProgramRun run;
        run.arguments = request;
        run.arguments.insert(run.arguments.end(), c.extraArguments.begin(), c.extraArguments.end());
        run.environment = noDisplay;
        run.environment.insert(run.environment.end(), c.extraEnvironment.begin(),
                               c.extraEnvironment.end());
        testing::ProgramResult result = testing::runProgram(run);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, cli::kUsage) << result.err;  // the company number is refused
        EXPECT_NE(result.err.find("No windows ("), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("running headless"), std::string::npos) << result.err;
    }
}

class UiModuleTest : public testing::TestEnvironment {};

// An installed command finds the Qt toolkit where installing puts it, relative to where
// the command lies; it says which package is missing, and refuses a toolkit that others
// could have replaced.
TEST_F(UiModuleTest, InstalledCommandLoadsTheToolkitBesideItOnlyWhenTrusted) {
    std::filesystem::path command = root / "bin" / "trellybridge";
    std::filesystem::create_directories(command.parent_path());
    std::filesystem::copy_file(TRELLYBRIDGE_CLI_PATH, command);
    std::filesystem::path module =
        (command.parent_path() / TRELLYBRIDGE_MODULES_FROM_PROGRAM / "trellybridge-qt.so")
            .lexically_normal();
    struct Case {
        const char* what;
        int moduleMode;  // -1: not installed
        const char* said;
    };
    const Case cases[] = {
        {"not installed", -1, "the windows need the trellybridge Qt package"},
        {"writable by its group", 0664, "can be changed by its group (mode 0664)"},
        {"installed", 0644, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.moduleMode >= 0) {
#ifdef TRELLYBRIDGE_QT_MODULE
            std::filesystem::create_directories(module.parent_path());
            std::filesystem::copy_file(TRELLYBRIDGE_QT_MODULE, module,
                                       std::filesystem::copy_options::overwrite_existing);
            ::chmod(module.c_str(), static_cast<mode_t>(c.moduleMode));
#else
            continue;  // a build without Qt has no toolkit to install
#endif
        }
        testing::ProgramRun run;
        run.arguments = testing::withSets({command.string(), "get-patient", "--ui", "qt"},
                                          testing::kEndsAtOnce);
        run.environment = {"QT_QPA_PLATFORM=offscreen"};
        testing::ProgramResult result = testing::runProgram(run);
        // The windows are chosen before the settings are checked, which end it here.
        EXPECT_EQ(result.exitCode, cli::kUsage) << result.err;
        if (c.said) {
            EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
            EXPECT_NE(result.err.find("running headless"), std::string::npos) << result.err;
        } else {
            EXPECT_EQ(result.err.find("No windows"), std::string::npos) << result.err;
        }
    }
}

}  // namespace
}  // namespace trellybridge
