#include "platform/Process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <system_error>

extern char** environ;

namespace trellybridge::process {
namespace {
std::mutex startedMutex;
std::vector<pid_t> started;
}  // namespace

std::optional<std::string> setEnvironment(const std::string& name,
                                          const std::optional<std::string>& value) {
    const char* old = std::getenv(name.c_str());
    std::optional<std::string> previous = old ? std::optional<std::string>(old) : std::nullopt;
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
    return previous;
}

bool start(const std::string& program, const std::vector<std::string>& arguments, bool, bool,
           std::string* failure) {
    reapFinished();
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (int error = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ)) {
        if (failure) *failure = std::generic_category().message(error);
        return false;
    }
    std::lock_guard lock(startedMutex);
    started.push_back(pid);
    return true;
}

int reapFinished() {
    std::lock_guard lock(startedMutex);
    std::erase_if(started, [](pid_t pid) {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) != 0;
    });
    return static_cast<int>(started.size());
}

bool standardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace trellybridge::process
