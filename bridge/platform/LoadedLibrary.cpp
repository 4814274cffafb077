#include "platform/LoadedLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace trellybridge::platform {
namespace {

// dlerror() reports the last failure of the thread; the lock keeps the text with the
// call that caused it when threads load at once.
std::mutex loaderMutex;

std::string loaderError(const char* fallback) {
    const char* said = ::dlerror();
    return said ? said : fallback;
}

std::string modeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Who may change what is at `path` (already stat'ed into `info`): no one but root and
// this process's user. A sticky folder (such as /tmp) may be writable by all: there
// nobody can rename or replace what another user owns.
bool trustedEntry(const std::string& path, const struct stat& info, std::string& reason) {
    if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
        reason = path + " belongs to user " + std::to_string(info.st_uid) +
                 ", neither root nor the user running this program";
        return false;
    }
    if (S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)) return true;
    if (info.st_mode & S_IWOTH) {
        reason = path + " can be changed by any user (mode " + modeText(info.st_mode) + ")";
        return false;
    }
    if (info.st_mode & S_IWGRP) {
        reason = path + " can be changed by its group (mode " + modeText(info.st_mode) + ")";
        return false;
    }
    return true;
}

// Walks `path` from the root, checking each folder and the final file, following
// symbolic links as the loader would; `resolved` becomes the path without links.
bool trustedWalk(const std::string& path, std::string& resolved, int& linksLeft,
                 std::string& reason) {
    std::vector<std::string> parts;
    for (size_t start = 0; start < path.size();) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        if (slash > start) parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    if (path.front() == '/') resolved = "/";
    struct stat info {};
    if (::stat(resolved.c_str(), &info) != 0) {
        reason = resolved + ": " + std::strerror(errno);
        return false;
    }
    if (!trustedEntry(resolved, info, reason)) return false;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part == ".") continue;
        if (part == "..") {
            resolved = resolved.substr(0, std::max<size_t>(1, resolved.rfind('/')));
            continue;
        }
        std::string next = (resolved == "/" ? "" : resolved) + "/" + part;
        if (::lstat(next.c_str(), &info) != 0) {
            reason = next + ": " + std::strerror(errno);
            return false;
        }
        if (S_ISLNK(info.st_mode)) {
            // The link itself can only be replaced through its folder, checked already;
            // where it leads is checked as a path of its own.
            if (--linksLeft < 0) {
                reason = path + ": too many levels of symbolic links";
                return false;
            }
            std::vector<char> target(static_cast<size_t>(PATH_MAX) + 1);
            ssize_t length = ::readlink(next.c_str(), target.data(), target.size() - 1);
            if (length < 0) {
                reason = next + ": " + std::strerror(errno);
                return false;
            }
            std::string destination(target.data(), static_cast<size_t>(length));
            if (destination.empty() || destination.front() != '/')
                destination.insert(0, (resolved == "/" ? "" : resolved) + "/");
            if (!trustedWalk(destination, resolved, linksLeft, reason)) return false;
            continue;
        }
        if (!trustedEntry(next, info, reason)) return false;
        bool last = i + 1 == parts.size();
        if (!last && !S_ISDIR(info.st_mode)) {
            reason = next + ": not a folder";
            return false;
        }
        resolved = next;
    }
    return true;
}

}  // namespace

bool isTrustedLibraryPath(const std::string& absolutePath, std::string& reason) {
    if (absolutePath.empty() || absolutePath.front() != '/') {
        reason = absolutePath + ": not an absolute path";
        return false;
    }
    std::string resolved;
    int linksLeft = 40;
    if (!trustedWalk(absolutePath, resolved, linksLeft, reason)) return false;
    struct stat info {};
    if (::stat(resolved.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = absolutePath + ": not a regular file";
        return false;
    }
    return true;
}

LoadedLibrary::Outcome LoadedLibrary::load(const std::string& absolutePath) {
    if (std::string reason; !isTrustedLibraryPath(absolutePath, reason))
        return {nullptr, "refused to load " + absolutePath + ": " + reason};
    std::lock_guard lock(loaderMutex);
    ::dlerror();
    void* handle = ::dlopen(absolutePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return {nullptr, loaderError("the library could not be loaded")};
    return {std::shared_ptr<LoadedLibrary>(new LoadedLibrary(handle)), {}};
}

void* LoadedLibrary::entryPoint(const char* name, std::string& error) const {
    std::lock_guard lock(loaderMutex);
    ::dlerror();
    void* address = ::dlsym(handle_, name);
    if (!address) error = loaderError("the library has no such entry point");
    return address;
}

LoadedLibrary::~LoadedLibrary() {
    std::lock_guard lock(loaderMutex);
    ::dlclose(handle_);
}

}  // namespace trellybridge::platform
