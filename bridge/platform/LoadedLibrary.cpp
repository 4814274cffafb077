#include "platform/LoadedLibrary.h"

#include <dlfcn.h>

#include <mutex>

namespace trellybridge::platform {
namespace {

// dlerror() reports the last failure of the thread; the lock keeps the text with the
// call that caused it when threads load at once.
std::mutex loaderMutex;

std::string loaderError(const char* fallback) {
    const char* said = ::dlerror();
    return said ? said : fallback;
}

}  // namespace

LoadedLibrary::Outcome LoadedLibrary::load(const std::string& absolutePath) {
    if (absolutePath.empty() || absolutePath.front() != '/')
        return {nullptr, absolutePath + ": not an absolute path"};
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
