// The program's own libraries that it loads only when they are asked for (the Qt
// toolkit, the simulator's web service), so that a command which needs neither starts
// without loading them and what they bring (Qt, OpenSSL).
#pragma once

#include <memory>
#include <string>

#include "platform/LoadedLibrary.h"

namespace trellybridge::platform {

// Where module `fileName` lies: beside the build when the running program lies inside
// the build tree, else where installing puts it, found from the program's real location
// (<prefix>/bin/trellybridge loads <prefix>/<libdir>/trellybridge/<fileName>).
std::string programModulePath(const std::string& fileName);

struct ModuleLoad {
    enum class Outcome { Loaded, Missing, Refused, Failed };
    Outcome outcome = Outcome::Missing;
    void* entryPoint = nullptr;  // the C function asked for, when loaded
    std::string reason;          // why not, naming the path
};

// Loads the module (once; it stays loaded for the rest of the process) when it passes
// trustedLibraryPath, and finds its C entry point.
ModuleLoad loadProgramModule(const std::string& fileName, const char* entryPoint);

}  // namespace trellybridge::platform
