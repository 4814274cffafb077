#include "session/Bridge.h"

#include "common/FailureNote.h"
#include "session/Bridges.h"

namespace trellybridge::session {
namespace {

// A bridge type the component does not know: the message is shown and the port loop
// counts attempts until it closes the session. Nothing is attempted.
class InvalidBridge : public Bridge {
public:
    RunLoop load(Request& request) override {
        request.updateText(std::string("Invalid bridge type requested...") + CRLF + CRLF);
        const Variant& bridge = request.config.NetworkBridgeType;
        request.reasons.note(FailureKind::Settings,
                             isUnset(bridge)
                                 ? "the request was not sent: NetworkBridgeType is not set"
                                 : "the request was not sent: NetworkBridgeType " +
                                       bridge.toText() + " is not " + bridgeNameList());
        request.session.timeoutTicks = request.config.SerialTimeout.toText();
        return RunLoop::Port;
    }
};

}  // namespace

std::unique_ptr<Bridge> makeInvalidBridge() {
    return std::make_unique<InvalidBridge>();
}

std::unique_ptr<Bridge> makeBridge(BridgeKind kind) {
    for (const BridgeMaker& row : kBridgeMakers)
        if (row.kind == kind) return row.make();
    return makeInvalidBridge();
}

void Bridge::exhausted(Request& request) {
    setClosePending();
    request.setTickInterval(RunLoop::Port, request.settings.timeDelayMs);
}

}  // namespace trellybridge::session
