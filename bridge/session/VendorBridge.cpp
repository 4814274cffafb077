// The VENDOR bridge: removes the old files, then writes the request file and starts the
// vendor's program, or hands the program the identifier when no request path is set.
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "session/Bridges.h"
#include "session/FileExchange.h"

namespace trellybridge::session {
namespace {

class VendorBridge : public FileExchangeBridge {
public:
    bool hasRequestSteps() const override { return true; }
    Expected<void> removeFiles(Request& request) override {
        return deletePatientFiles(request, true);
    }
    Expected<void> sendRequest(Request& request) override {
        request.session.startedSending = platform::clock().now();
        return sendNetworkRequest(request, [this](const Request& request) -> Expected<void> {
            const RequestSettings& c = request.settings;
            const std::string& program = c.applicationPath;
            if (std::string problem = unusablePath("vendor program", program); !problem.empty())
                return failsWithNote(problem);
            if (!fs::folderContains(fs::folderPartOf(program), fs::fileNameOf(program)))
                return failsWithNote("could not start vendor program " + shownPath(program) +
                                     ": not found");
            process::Program& started = programs_.emplace_back();
            if (isUnsetText(c.requestPath))
                return startVendorProgram(request, {c.patientId}, started);
            Expected<void> written = writeRequestFile(request);
            if (!written) return written;
            return startVendorProgram(request, {}, started);
        });
    }
    // The programs of this request end with it, whatever they started, and leave no
    // zombie in the host.
    void close(Request&) override { programs_.clear(); }

private:
    std::vector<process::Program> programs_;  // one per attempt
};

}  // namespace

std::unique_ptr<Bridge> makeVendorBridge() {
    return std::make_unique<VendorBridge>();
}

}  // namespace trellybridge::session
