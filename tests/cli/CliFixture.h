// What the command-line tests share: the command run in this process, its output kept.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"
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
    std::ostringstream out, err;
};

}  // namespace trellybridge::testing
