#include "support/RunProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/TestEnvironment.h"

#if defined(__SANITIZE_ADDRESS__)
#define TRELLYBRIDGE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRELLYBRIDGE_ADDRESS_SANITIZER 1
#endif
#endif

namespace trellybridge::testing {
namespace {
// AddressSanitizer reserves terabytes of address space for its shadow memory: a program
// built with it cannot start under an address-space limit, so there only time bounds it.
#ifdef TRELLYBRIDGE_ADDRESS_SANITIZER
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif
}  // namespace

ProgramResult runProgram(const ProgramRun& run) {
    ProgramResult result;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "trellybridge-run-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return result;
    std::filesystem::path folder = pattern;
    std::string outPath = (folder / "out").string(), errPath = (folder / "err").string();

    std::vector<char*> argv;
    for (const std::string& a : run.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Everything the child needs is made before fork: only async-signal-safe calls after.
    std::vector<std::string> variables;
    for (char** v = environ; *v; ++v) variables.emplace_back(*v);
    variables.insert(variables.end(), run.environment.begin(), run.environment.end());
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    rlimit memory{run.memoryBytes, run.memoryBytes};
    rlimit fileSize{64u << 20, 64u << 20};

    pid_t child = ::fork();
    if (child == 0) {
        int in = ::open(run.standardInput.c_str(), O_RDONLY);
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (kLimitAddressSpace) ::setrlimit(RLIMIT_AS, &memory);
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (child < 0) return result;
    if (run.whileRunning) run.whileRunning(child);

    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(run.timeoutMs);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!result.timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = readHostFile(outPath);
    result.err = readHostFile(errPath);
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return result;
}

}  // namespace trellybridge::testing
