// The USB bridge: the request tag is all there is to send, so the session starts by
// reading the results file, as the file exchanges do.
#include "common/SessionPhase.h"
#include "session/Bridges.h"
#include "session/FileExchange.h"
#include "session/SessionContext.h"

namespace trellybridge::session {
namespace {

class UsbBridge : public FileExchangeBridge {
public:
    RunLoop load(SessionWindow&) override {
        SessionState& s = session();
        setPhase(Phase::Read);
        s.attemptCount = 0;
        s.rawDataReceived = config().VendorRequestTag.toText();
        s.timeoutTicks = config().NetworkTimeout.toText();
        return RunLoop::Network;
    }
};

}  // namespace

std::unique_ptr<BridgeSession> makeUsbBridge() {
    return std::make_unique<UsbBridge>();
}

}  // namespace trellybridge::session
