// The HTTPS bridge: the web service is called once when the window loads and again on
// each read attempt; the first answer ends the session.
#include "common/SessionPhase.h"
#include "session/Bridges.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"
#include "session/Transports.h"

namespace trellybridge::session {
namespace {

// This build has no web-service client: every call finds nothing.
class NoWebService : public WebServiceTransport {
public:
    std::string readPatientStream(SessionWindow& window) override {
        window.updateText("VELQUIN Service: this build has no web-service transport\r\n");
        return {};
    }
};

class HttpsBridge : public BridgeSession {
public:
    RunLoop load(SessionWindow& window) const override {
        SessionState& s = session();
        setPhase(Phase::Read);
        s.attemptCount = 0;
        s.rawDataReceived = webServiceTransport().readPatientStream(window);
        s.timeoutTicks = config().NetworkTimeout.toText();
        return RunLoop::Network;
    }
    bool readAnswer(SessionWindow& window) const override {
        SessionState& s = session();
        s.rawDataReceived = webServiceTransport().readPatientStream(window);
        bool received = !s.rawDataReceived.empty();
        if (!received)
            s.attemptCount += 1;
        else
            window.updateText(
                std::string(state().patientFound ? " ...Successful!" : " ...Failed!") + CRLF +
                CRLF);
        return received;
    }
};

}  // namespace

const BridgeSession& httpsBridge() {
    static const HttpsBridge bridge;
    return bridge;
}

WebServiceTransport& webServiceTransport() {
    auto& line = threadState().webServiceTransport;
    if (!line) line = std::make_shared<NoWebService>();
    return *line;
}

void setWebServiceTransport(std::shared_ptr<WebServiceTransport> transport) {
    threadState().webServiceTransport = std::move(transport);
}

}  // namespace trellybridge::session
