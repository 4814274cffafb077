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
    std::optional<bool> removeFiles(SessionWindow& window) override {
        return deletePatientFiles(window, false);
    }
    std::optional<bool> sendRequest(SessionWindow& window) override {
        session().startedSending = platform::clock().now();
        return sendNetworkRequest(window, writeRequestFile);
    }
};

}  // namespace

std::unique_ptr<BridgeSession> makePollingBridge() {
    return std::make_unique<PollingBridge>();
}

}  // namespace trellybridge::session
