#include "platform/ProgramModules.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "platform/TrustedPath.h"

namespace trellybridge::platform {
namespace {

// The running program's real path ("" when the system does not say).
std::string programPath() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

}  // namespace

std::string programModulePath(const std::string& fileName) {
    std::string program = programPath();
#ifdef TRELLYBRIDGE_BUILD_TREE
    // A program run from the build loads the modules built beside it, never installed ones.
    const std::string buildTree = TRELLYBRIDGE_BUILD_TREE "/";
    if (program.starts_with(buildTree)) return TRELLYBRIDGE_BUILD_MODULES "/" + fileName;
#endif
    std::filesystem::path folder = std::filesystem::path(program).parent_path();
    return (folder / TRELLYBRIDGE_MODULES_FROM_PROGRAM / fileName).lexically_normal().string();
}

ModuleLoad loadProgramModule(const std::string& fileName, const char* entryPoint) {
    static std::mutex mutex;
    // Never unloaded: objects the modules made may live until the process ends.
    static auto* loaded = new std::map<std::string, std::shared_ptr<LoadedLibrary>>;
    std::lock_guard lock(mutex);
    ModuleLoad load;
    std::shared_ptr<LoadedLibrary>& library = (*loaded)[fileName];
    if (!library) {
        LibraryCheck check = trustedLibraryPath(programModulePath(fileName));
        if (check.verdict != LibraryCheck::Verdict::Trusted) {
            load.outcome = check.verdict == LibraryCheck::Verdict::Missing
                               ? ModuleLoad::Outcome::Missing
                               : ModuleLoad::Outcome::Refused;
            load.reason = check.reason;
            return load;
        }
        LoadedLibrary::Outcome opened = LoadedLibrary::load(check.path);
        if (!opened.library) {
            load.outcome = ModuleLoad::Outcome::Failed;
            load.reason = opened.error;
            return load;
        }
        library = opened.library;
    }
    load.entryPoint = library->entryPoint(entryPoint, load.reason);
    load.outcome = load.entryPoint ? ModuleLoad::Outcome::Loaded : ModuleLoad::Outcome::Failed;
    return load;
}

}  // namespace trellybridge::platform
