// Starting another program, never through a shell: every argument reaches the program
// as one argv entry, whatever characters it holds.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace trellybridge::process {

// Starts `program` (a host path) with `arguments` and does not wait for it. The window
// modes of the original platform have no meaning here and are accepted for the record.
// False when the program could not be started; `failure`, when given, then receives the
// system's reason ("No such file or directory").
bool start(const std::string& program, const std::vector<std::string>& arguments,
           bool minimised = true, bool focus = false, std::string* failure = nullptr);

// Sets (or, with nullopt, removes) a variable of this process's environment, which the
// programs it starts and the library's own settings read; returns the value it had.
// Only for a program's own set-up (the demo), never while other threads may read it.
std::optional<std::string> setEnvironment(const std::string& name,
                                          const std::optional<std::string>& value);

// Whether this process's standard output is a terminal (and not a file or a pipe).
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();

// Collects the exit status of programs started earlier that have finished, so that none
// stays behind as a zombie. Returns how many are still running.
int reapFinished();

}  // namespace trellybridge::process
