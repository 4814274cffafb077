// The POLLING bridge: removes the old files, then writes the request file, which the
// vendor's side polls for.
#include "platform/Clock.h"
#include "session/Bridges.h"
#include "session/FileExchange.h"
#include "session/SessionContext.h"

namespace trellybridge::session {
namespace {

class PollingBridge : public FileExchangeBridge {
public:
    std::optional<bool> removeFiles(SessionWindow& window) const override {
        return deletePatientFiles(window, false);
    }
    std::optional<bool> sendRequest(SessionWindow& window) const override {
        session().startedSending = platform::clock().now();
        return sendNetworkRequest(window, writeRequestFile);
    }
};

}  // namespace

const BridgeSession& pollingBridge() {
    static const PollingBridge bridge;
    return bridge;
}

}  // namespace trellybridge::session
