#include "session/BridgeSession.h"

#include "common/FailureNote.h"

#include "session/Bridges.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"

namespace trellybridge::session {
namespace {

// A bridge type the component does not know: the message is shown and the serial loop
// counts attempts until it closes the session. Nothing is attempted.
class InvalidBridge : public BridgeSession {
public:
    RunLoop load(SessionWindow& window) const override {
        window.updateText(std::string("Invalid bridge type requested...") + CRLF + CRLF);
        const Variant& bridge = config().NetworkBridgeType;
        noteFailure(FailureKind::Settings,
                    isUnset(bridge)
                        ? "the request was not sent: NetworkBridgeType is not set"
                        : "the request was not sent: NetworkBridgeType " + bridge.toText() +
                              " is not SERIAL, TCPIP, HTTPS, VENDOR, POLLING, "
                              "FOLDERS or USB");
        session().timeoutTicks = config().SerialTimeout.toText();
        return RunLoop::Serial;
    }
};

}  // namespace

const BridgeSession& invalidBridge() {
    static const InvalidBridge bridge;
    return bridge;
}

const BridgeSession& bridgeSession(BridgeKind kind) {
    switch (kind) {
        case BridgeKind::Serial: return serialBridge();
        case BridgeKind::TcpIp: return tcpBridge();
        case BridgeKind::Vendor: return vendorBridge();
        case BridgeKind::Polling: return pollingBridge();
        case BridgeKind::Folders: return foldersBridge();
        case BridgeKind::Https: return httpsBridge();
        case BridgeKind::Usb: return usbBridge();
        case BridgeKind::Invalid: break;
    }
    return invalidBridge();
}

}  // namespace trellybridge::session
