// Whether a library that the program loads by a fixed path may be trusted: loading code
// runs it with the user's rights, so nobody else may have been able to put it there.
#pragma once

#include <string>

namespace trellybridge::platform {

struct LibraryCheck {
    enum class Verdict { Trusted, Missing, Refused };
    Verdict verdict = Verdict::Missing;
    std::string path;    // the library's real path (links followed) when trusted
    std::string reason;  // why it is missing or refused
};

// Trusted when the path names a regular file that, like every folder above it, belongs to
// root or to the user the process runs as and cannot be written by group or others. A
// folder with the sticky bit (such as /tmp) may be writable by all: there nobody can
// rename or replace what another user owns.
LibraryCheck trustedLibraryPath(const std::string& path);

}  // namespace trellybridge::platform
