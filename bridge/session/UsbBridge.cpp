// The USB bridge: the request tag is all there is to send, so the session starts by
// reading the results file, as the file exchanges do.
#include "session/Bridges.h"
#include "session/FileExchange.h"

namespace trellybridge::session {
namespace {

class UsbBridge : public FileExchangeBridge {
public:
    RunLoop load(Request& request) override {
        SessionState& s = request.session;
        request.setPhase(Phase::Read);
        s.attemptCount = 0;
        s.rawDataReceived = request.config.VendorRequestTag.toText();
        s.timeoutTicks = request.config.NetworkTimeout.toText();
        return RunLoop::Network;
    }
};

}  // namespace

std::unique_ptr<Bridge> makeUsbBridge() {
    return std::make_unique<UsbBridge>();
}

}  // namespace trellybridge::session
