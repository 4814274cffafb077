// The trellybridge command: runs the library for integrators and support staff.
#pragma once

#include <iosfwd>

namespace trellybridge::cli {

// 1: the vendor answered and the patient is not there; 3: the vendor could not be
// reached or did not answer (name look-up, connect, TLS, port, time-out, answer too large).
enum ExitCode { kFound = 0, kNotFound = 1, kUsage = 2, kUnreachable = 3 };

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace trellybridge::cli
