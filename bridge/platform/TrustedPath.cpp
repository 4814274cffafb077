#include "platform/TrustedPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace trellybridge::platform {
namespace {

// Why the entry at `path` could let someone else change what is loaded, or empty.
std::string untrustedBecause(const std::string& path, const struct stat& info, bool folder) {
    if (info.st_uid != 0 && info.st_uid != ::geteuid())
        return path + " belongs to user " + std::to_string(info.st_uid) +
               ", neither root nor the user running this program";
    bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (othersWrite && !(folder && (info.st_mode & S_ISVTX)))
        return path + " can be written by its group or by others";
    return {};
}

}  // namespace

LibraryCheck trustedLibraryPath(const std::string& path) {
    LibraryCheck check;
    if (path.empty() || path.front() != '/') {
        check.verdict = LibraryCheck::Verdict::Refused;
        check.reason = path + ": not an absolute path";
        return check;
    }
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) {
        int error = errno;
        check.verdict = error == ENOENT || error == ENOTDIR ? LibraryCheck::Verdict::Missing
                                                            : LibraryCheck::Verdict::Refused;
        check.reason = path + ": " + std::strerror(error);
        return check;
    }
    std::string resolved = real;
    check.verdict = LibraryCheck::Verdict::Refused;
    struct stat info {};
    if (::stat(resolved.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        check.reason = resolved + ": not a regular file";
        return check;
    }
    if (check.reason = untrustedBecause(resolved, info, false); !check.reason.empty()) return check;
    // Each folder up to the root: whoever may rename one of them may swap the library.
    for (std::string folder = resolved; folder != "/";) {
        folder = folder.substr(0, std::max<size_t>(folder.rfind('/'), 1));
        if (::stat(folder.c_str(), &info) != 0) {
            check.reason = folder + ": " + std::strerror(errno);
            return check;
        }
        if (check.reason = untrustedBecause(folder, info, true); !check.reason.empty())
            return check;
    }
    check.verdict = LibraryCheck::Verdict::Trusted;
    check.path = std::move(resolved);
    return check;
}

}  // namespace trellybridge::platform
