#include "session/Transports.h"

#include "common/ThreadState.h"
#include "platform/Toolkit.h"
#include "session/SessionWindow.h"

namespace trellybridge::session {
namespace {

// This build has no serial line: the port behaves as one that cannot be opened.
class NoSerialLine : public SerialTransport {
public:
    void openSerialPort(SessionWindow& window) override {
        window.updateText("SERIAL Port: this build has no serial transport\r\n");
        if (threadState().config.DisplayDebugger.toText() == "true")
            ui::toolkit().messageBox("Undetermined ERROR loading one or more serial properties",
                                     "Attention!", ui::Icon::Critical);
        threadState().patientFound = false;
        threadState().session.completionCode = 0;
        threadState().session.elapsedTicks = 0;
    }
    bool closeSerialPort(SessionWindow&) override { return true; }
    int inBufferCount() override { return 0; }
    std::string input() override { return {}; }
};

// This build has no web-service client: every call finds nothing.
class NoWebService : public WebServiceTransport {
public:
    std::string readPatientStream(SessionWindow& window) override {
        window.updateText("VELQUIN Service: this build has no web-service transport\r\n");
        return {};
    }
};

thread_local std::shared_ptr<SerialTransport> serial;
thread_local std::shared_ptr<WebServiceTransport> webService;

}  // namespace

SerialTransport& serialTransport() {
    if (!serial) serial = std::make_shared<NoSerialLine>();
    return *serial;
}

WebServiceTransport& webServiceTransport() {
    if (!webService) webService = std::make_shared<NoWebService>();
    return *webService;
}

void setSerialTransport(std::shared_ptr<SerialTransport> transport) {
    serial = std::move(transport);
}
void setWebServiceTransport(std::shared_ptr<WebServiceTransport> transport) {
    webService = std::move(transport);
}

}  // namespace trellybridge::session
