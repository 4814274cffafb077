#include "platform/TrustedPath.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/LoadedLibrary.h"

namespace trellybridge::platform {

LibraryCheck trustedLibraryPath(const std::string& path) {
    LibraryCheck check;
    check.verdict = LibraryCheck::Verdict::Refused;
    if (path.empty() || path.front() != '/') {
        check.reason = path + ": not an absolute path";
        return check;
    }
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) {
        int error = errno;
        if (error == ENOENT || error == ENOTDIR) check.verdict = LibraryCheck::Verdict::Missing;
        check.reason = path + ": " + std::strerror(error);
        return check;
    }
    if (!isTrustedLibraryPath(path, check.reason)) return check;
    check.verdict = LibraryCheck::Verdict::Trusted;
    check.path = real;
    return check;
}

}  // namespace trellybridge::platform
