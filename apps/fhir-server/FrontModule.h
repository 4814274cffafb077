// The service's network side is a module of its own (trellybridge-serve.so), loaded by
// `trellybridge serve` only, so that the command links no TLS or HTTP library. Its one
// entry point is a plain C function found by name; both sides come from one build, since
// the call carries C++ objects, and the module refuses a caller built otherwise.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/server/FrontEnd.h"

namespace trellybridge::fhirserver {

inline constexpr char kFrontModuleFile[] = "trellybridge-serve.so";
inline constexpr char kFrontModuleEntry[] = "trellybridge_front_end";

struct FrontModuleCall {
    // First, so that a module of another build can read them: the caller's build.
    const char* build = TRELLYBRIDGE_MODULE_BUILD;
    std::size_t size = sizeof(FrontModuleCall);
    enum class Action { Check, Make };
    Action action = Action::Check;
    platform::server::FrontOptions options;
    platform::server::Handler handler;
    platform::server::Refusal refusal;
    std::vector<std::string> problems;                     // Check: what keeps it from serving
    std::unique_ptr<platform::server::FrontEnd> frontEnd;  // Make: what the module made
};

using FrontModuleEntry = void (*)(FrontModuleCall* call);

// Loads the module and has it do `call`; false with `error` saying why it cannot be.
bool callFrontModule(FrontModuleCall& call, std::string& error);

}  // namespace trellybridge::fhirserver
