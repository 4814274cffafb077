#include "platform/Process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

extern char** environ;

namespace trellybridge::process {
namespace {

// The process groups of programs started and not yet ended, in fixed slots that a signal
// handler may read: 0 is a free slot.
constexpr int kMaxStarted = 64;
std::atomic<int> startedGroups[kMaxStarted];

void noteStarted(int group) {
    for (std::atomic<int>& slot : startedGroups) {
        int expected = 0;
        if (slot.compare_exchange_strong(expected, group)) return;
    }
}

void noteEnded(int group) {
    for (std::atomic<int>& slot : startedGroups) {
        int expected = group;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

// Whether the program has ended; its exit status stays to be collected, so that its
// process group number cannot pass to another program meanwhile.
bool hasEnded(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// Waits at most `ms` for the program to end.
bool waitForEnd(pid_t pid, int ms) {
    if (hasEnded(pid)) return true;
    // A descriptor that becomes readable when the program ends (glibc declares no C++
    // name for it, so the system call it is).
    auto watch = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (watch < 0) return hasEnded(pid);
    pollfd ready{watch, POLLIN, 0};
    while (::poll(&ready, 1, ms) < 0 && errno == EINTR) {
    }
    ::close(watch);
    return hasEnded(pid);
}

// The spawn attributes: a process group of its own, and the signals a program expects
// (none blocked, the usual ending ones at their defaults whatever the host set).
class SpawnAttributes {
public:
    SpawnAttributes() {
        ::posix_spawnattr_init(&attributes_);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE}) sigaddset(&defaults, signal);
        ::posix_spawnattr_setpgroup(&attributes_, 0);
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setflags(
            &attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
};

}  // namespace

Program::~Program() {
    end();
}

Program::Program(Program&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

Program& Program::operator=(Program&& other) noexcept {
    if (this != &other) {
        end();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

bool Program::start(const std::string& program, const std::vector<std::string>& arguments,
                    std::string* failure) {
    end();
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    SpawnAttributes attributes;
    pid_t pid = 0;
    if (int error =
            ::posix_spawn(&pid, program.c_str(), nullptr, attributes.get(), argv.data(), environ)) {
        if (failure) *failure = std::generic_category().message(error);
        return false;
    }
    pid_ = pid;
    noteStarted(pid_);
    return true;
}

void Program::end(int graceMs) {
    if (pid_ <= 0) return;
    pid_t pid = std::exchange(pid_, -1);
    // Until its exit status is collected the program keeps its process group number, so
    // the group signalled is always its own.
    bool ended = hasEnded(pid);
    ::kill(-pid, SIGTERM);
    if (!ended) waitForEnd(pid, graceMs);
    ::kill(-pid, SIGKILL);
    noteEnded(pid);
    // Killed, it goes at once; a program stuck in the kernel is left to the system.
    if (waitForEnd(pid, graceMs)) ::waitpid(pid, nullptr, 0);
}

void endStartedPrograms() {
    for (std::atomic<int>& slot : startedGroups)
        if (int group = slot.load(); group > 0) ::kill(-group, SIGTERM);
}

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

bool standardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace trellybridge::process
