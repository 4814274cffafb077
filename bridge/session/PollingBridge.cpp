// The POLLING bridge: removes the old files, then writes the request file, which the
// vendor's side polls for.
#include "platform/Clock.h"
#include "session/Bridges.h"
#include "session/FileExchange.h"

namespace trellybridge::session {
namespace {

class PollingBridge : public FileExchangeBridge {
public:
    bool hasRequestSteps() const override { return true; }
    Expected<void> removeFiles(Request& request) override {
        return deletePatientFiles(request, false);
    }
    Expected<void> sendRequest(Request& request) override {
        request.session.startedSending = platform::clock().now();
        return sendNetworkRequest(request, writeRequestFile);
    }
};

}  // namespace

std::unique_ptr<Bridge> makePollingBridge() {
    return std::make_unique<PollingBridge>();
}

}  // namespace trellybridge::session
