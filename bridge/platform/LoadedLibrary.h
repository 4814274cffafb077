// A library of code that a host installs beside the component and names at run time
// (the USB patient-record component), loaded into the process on demand.
#pragma once

#include <memory>
#include <string>

namespace trellybridge::platform {

// Whether code at `absolutePath` may be loaded into this process: the file and every
// folder on the way to it (symbolic links followed, the folders they lead through
// included) belong to root or to this process's user, and none of them can be changed by
// its group or by others (a sticky folder, such as /tmp, excepted). A library anyone else can
// change or replace runs their code in the host. False with `reason` saying which path fails and
// why.
bool isTrustedLibraryPath(const std::string& absolutePath, std::string& reason);

class LoadedLibrary {
public:
    struct Outcome {
        std::shared_ptr<LoadedLibrary> library;  // null when loading failed
        std::string error;                       // the loader's own words
    };

    // Loads the library at an absolute path with every symbol resolved now and kept to
    // itself. A bare name or relative path is refused: the loader would look for it along
    // its search path, in folders nobody chose. The library stays loaded while any
    // holder of the result (or of an object made from it) lives. A library whose path is
    // not trusted (isTrustedLibraryPath) is refused unloaded.
    static Outcome load(const std::string& absolutePath);

    // The address of a plain C function the library exports, or null with `error` set.
    void* entryPoint(const char* name, std::string& error) const;

    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    ~LoadedLibrary();

private:
    explicit LoadedLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

}  // namespace trellybridge::platform
