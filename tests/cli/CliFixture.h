// What the command-line tests share: the command run in this process, its output kept.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"
#include "SampleRequest.h"
#include "VendorSimulator.h"
#include "support/TestEnvironment.h"

namespace trellybridge::testing {

class CliFixture : public TestEnvironment {
protected:
    // Runs `trellybridge` with `arguments`; its exit status.
    int run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "trellybridge");
        std::vector<const char*> argv;
        for (const std::string& a : arguments) argv.push_back(a.c_str());
        out.str("");
        err.str("");
        return cli::run(static_cast<int>(argv.size()), argv.data(), out, err);
    }
    void TearDown() override {
        vendors.clear();
        TestEnvironment::TearDown();
    }
    // A simulator with `options`, kept for the test; its first port.
    std::string startVendor(vendorsim::SimulatorOptions options = {}) {
        vendors.push_back(std::make_unique<vendorsim::VendorSimulator>(options));
        std::string error;
        EXPECT_TRUE(vendors.back()->start(error)) << error;
        return std::to_string(vendors.back()->ports()[0]);
    }
    std::ostringstream out, err;
    std::vector<std::unique_ptr<vendorsim::VendorSimulator>> vendors;
};

// The request's settings as NAME=VALUE, the empty ones left out.
inline std::vector<std::string> settingsOf(const GetPatientArguments& a) {
    std::vector<std::string> settings;
    for (std::size_t i = 0; i < GetPatientArguments::kCount; ++i)
        if (!a.at(i).isEmptyText())
            settings.push_back(std::string(GetPatientArguments::name(i)) + "=" + a.at(i).toText());
    return settings;
}

// Settings under which a request that did run would end at once, found or not: the
// company number is refused before anything is sent.
inline const std::vector<std::string> kEndsAtOnce = {
    "PatientID=-5",         "VendorFormatType=HL7",    "NetworkBridgeType=TCPIP",
    "MEDICNumberDefault=1", "DisplayProperties=false", "TCPRemoteHostName=127.0.0.1"};

// Arguments: `command` and its options, then a "--set" for each NAME=VALUE.
inline std::vector<std::string> withSets(std::vector<std::string> command,
                                         const std::vector<std::string>& settings) {
    for (const std::string& setting : settings) command.insert(command.end(), {"--set", setting});
    return command;
}

}  // namespace trellybridge::testing
