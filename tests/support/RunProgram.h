// Runs a program as a child process with every resource bounded, for tests of a
// command whose faults could otherwise hang or exhaust the test process.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace trellybridge::testing {

struct ProgramRun {
    std::vector<std::string> arguments;       // program path first
    std::vector<std::string> environment;     // NAME=VALUE, added to the test's own
    std::string standardInput = "/dev/null";  // a file to read standard input from
    int timeoutMs = 20000;
    // Address space the child may use (not enforced under AddressSanitizer).
    unsigned long long memoryBytes = 1ull << 30;
    std::function<void(int pid)> whileRunning = nullptr;  // called once the program has started
};

struct ProgramResult {
    int exitCode = -1;  // -1 when it was killed or did not end in time
    bool timedOut = false;
    std::string out, err;
};

ProgramResult runProgram(const ProgramRun& run);

}  // namespace trellybridge::testing
