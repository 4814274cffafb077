// The loadable network side of `trellybridge serve` (trellybridge-serve.so).
#include <cstring>

#include "FrontModule.h"

extern "C" __attribute__((visibility("default"))) void trellybridge_front_end(
    trellybridge::fhirserver::FrontModuleCall* call) {
    using trellybridge::fhirserver::FrontModuleCall;
    namespace server = trellybridge::platform::server;
    // Only the build fields may be read from another build's call.
    if (std::strcmp(call->build, TRELLYBRIDGE_MODULE_BUILD) != 0 ||
        call->size != sizeof(FrontModuleCall))
        return;
    if (call->action == FrontModuleCall::Action::Check) {
        call->problems = server::frontProblems(call->options);
        return;
    }
    call->frontEnd = server::makeFrontEnd(std::move(call->options), std::move(call->handler),
                                          std::move(call->refusal));
}
