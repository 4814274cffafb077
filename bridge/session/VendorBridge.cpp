// The VENDOR bridge: removes the old files, then writes the request file and starts the
// vendor's program, or hands the program the identifier when no request path is set.
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "session/Bridges.h"
#include "session/FileExchange.h"
#include "session/SessionContext.h"

namespace trellybridge::session {
namespace {

class VendorBridge : public FileExchangeBridge {
public:
    std::optional<bool> removeFiles(SessionWindow& window) override {
        return deletePatientFiles(window, true);
    }
    std::optional<bool> sendRequest(SessionWindow& window) override {
        session().startedSending = platform::clock().now();
        return sendNetworkRequest(window, [](std::string& failure) {
            const BridgeConfiguration& c = config();
            std::string program = c.VendorApplicationPath.toText();
            if (failure = unusablePath("vendor program", c.VendorApplicationPath); !failure.empty())
                return false;
            if (!fs::folderContains(fs::folderPartOf(program), fs::fileNameOf(program))) {
                failure = "could not start vendor program " + shownPath(c.VendorApplicationPath) +
                          ": not found";
                return false;
            }
            if (isUnset(c.VendorRequestPath))
                return startVendorProgram({c.PatientID.toText()}, true, failure);
            return writeRequestFile(failure) && startVendorProgram({}, false, failure);
        });
    }
};

}  // namespace

std::unique_ptr<BridgeSession> makeVendorBridge() {
    return std::make_unique<VendorBridge>();
}

}  // namespace trellybridge::session
