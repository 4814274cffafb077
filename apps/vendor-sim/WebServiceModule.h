// The loadable web service's one entry point, a plain C function found by name. Both
// sides come from one build: the call carries C++ objects, so the module refuses a
// caller built otherwise.
#pragma once

#include <cstddef>
#include <memory>

#include "WebService.h"

namespace trellybridge::vendorsim {

inline constexpr char kWebServiceModuleFile[] = "trellybridge-websim.so";
inline constexpr char kWebServiceModuleEntry[] = "trellybridge_web_service";

struct WebServiceModuleCall {
    // First, so that a module of another build can read them: the caller's build.
    const char* build = TRELLYBRIDGE_MODULE_BUILD;
    std::size_t size = sizeof(WebServiceModuleCall);
    WebServiceOptions options;
    WebService::Log log;
    std::unique_ptr<WebService> service;  // what the module made
};

using WebServiceModuleEntry = void (*)(WebServiceModuleCall* call);

}  // namespace trellybridge::vendorsim
