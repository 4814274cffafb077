#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Cli.h"
#include "support/RunProgram.h"

namespace trellybridge {
namespace {

// Without a display the windows cannot be shown: the request runs headless and says why,
// whether the toolkit came from --ui or from TRELLYBRIDGE_UI.
TEST(UiOption, QtWithoutADisplayRunsHeadlessAndSaysWhy) {
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    const std::vector<std::string> request = {TRELLYBRIDGE_CLI_PATH,
                                              "get-patient",
                                              "--set",
                                              "PatientID=-5",
                                              "--set",
                                              "VendorFormatType=HL7",
                                              "--set",
                                              "MEDICNumberDefault=1",
                                              "--set",
                                              "NetworkBridgeType=TCPIP",
                                              "--set",
                                              "TCPRemoteHostName=127.0.0.1",
                                              "--set",
                                              "DisplayProperties=false"};
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

}  // namespace
}  // namespace trellybridge
