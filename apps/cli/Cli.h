// The trellybridge command: runs the library for integrators and support staff.
#pragma once

#include <iosfwd>

namespace trellybridge::cli {

enum ExitCode { kFound = 0, kNotFound = 1, kUsage = 2 };

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace trellybridge::cli
