// The loadable web service (trellybridge-websim.so): the simulator with its HTTPS server
// and certificate making.
#include "WebServiceModule.h"

#include <cstring>

#include "WebServiceSimulator.h"

extern "C" __attribute__((visibility("default"))) void trellybridge_web_service(
    trellybridge::vendorsim::WebServiceModuleCall* call) {
    using trellybridge::vendorsim::WebServiceModuleCall;
    // Only the build fields may be read from another build's call.
    if (std::strcmp(call->build, TRELLYBRIDGE_MODULE_BUILD) != 0 ||
        call->size != sizeof(WebServiceModuleCall))
        return;
    call->service = std::make_unique<trellybridge::vendorsim::WebServiceSimulator>(
        std::move(call->options), std::move(call->log));
}
