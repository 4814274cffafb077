// Starting another program, never through a shell: every argument reaches the program
// as one argv entry, whatever characters it holds.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace trellybridge::process {

// A program started, never through a shell, in a process group of its own, so that it and
// whatever it starts can be ended together. It is ended when the object goes.
class Program {
public:
    // How long a program has to end after it is asked to, before it is killed.
    static constexpr int kGraceMs = 2000;

    Program() = default;
    ~Program();
    Program(Program&& other) noexcept;
    Program& operator=(Program&& other) noexcept;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts `program` (a host path) with `arguments` and does not wait for it; false when
    // it could not be started, with the system's reason ("No such file or directory") in
    // `failure` when given.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               std::string* failure = nullptr);
    // Asks the program's process group to end (SIGTERM), gives the program `graceMs` to
    // do so, kills what is left of the group (SIGKILL) and collects the program's exit
    // status, so that none of it outlives its request and no zombie stays behind.
    void end(int graceMs = kGraceMs);
    bool started() const { return pid_ > 0; }

private:
    int pid_ = -1;
};

// Asks the process group of every program started and not yet ended to end (SIGTERM).
// Safe in a signal handler: a program that ends on a signal calls it.
void endStartedPrograms();

// Sets (or, with nullopt, removes) a variable of this process's environment, which the
// programs it starts and the library's own settings read; returns the value it had.
// Only for a program's own set-up (the demo), never while other threads may read it.
std::optional<std::string> setEnvironment(const std::string& name,
                                          const std::optional<std::string>& value);

// Whether this process's standard output is a terminal (and not a file or a pipe).
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();

}  // namespace trellybridge::process
