// The SERIAL bridge: each attempt opens the port when needed and sends the request; the
// answer arrives through the serial control's event, independent of the ticks, and its
// end character lets the session close.
#include "common/SessionPhase.h"
#include "common/Text.h"
#include "platform/Toolkit.h"
#include "session/Bridges.h"
#include "session/SessionContext.h"
#include "session/SessionWindow.h"
#include "session/Transports.h"

namespace trellybridge::session {
namespace {

constexpr int kCommEventReceive = 2;

// This build has no serial line: the port behaves as one that cannot be opened.
class NoSerialLine : public SerialTransport {
public:
    void openSerialPort(SessionWindow& window) override {
        window.updateText("SERIAL Port: this build has no serial transport\r\n");
        if (debugging())
            ui::toolkit().messageBox("Undetermined ERROR loading one or more serial properties",
                                     "Attention!", ui::Icon::Critical);
        attemptFailed();
    }
    bool closeSerialPort(SessionWindow&) override { return true; }
    int inBufferCount() override { return 0; }
    std::string input() override { return {}; }
};

class SerialBridge : public BridgeSession {
public:
    RunLoop load(SessionWindow& window) const override { return loadPortBridge(window); }
    void step(SessionWindow& window) const override {
        serialTransport().openSerialPort(window);
        window.SerialTimer.setInterval(1000);
    }
    bool closePort(SessionWindow& window) const override {
        return serialTransport().closeSerialPort(window);
    }
};

}  // namespace

const BridgeSession& serialBridge() {
    static const SerialBridge bridge;
    return bridge;
}

SerialTransport& serialTransport() {
    auto& line = threadState().serialTransport;
    if (!line) line = std::make_shared<NoSerialLine>();
    return *line;
}

void setSerialTransport(std::shared_ptr<SerialTransport> transport) {
    threadState().serialTransport = std::move(transport);
}

void SessionWindow::commEvent(int eventCode) {
    if (eventCode != kCommEventReceive) return;
    try {
        SessionState& s = session();
        s.startedReceiving = platform::clock().now();
        setStatus("Receiving...");
        SerialTimer.setEnabled(false);
        SerialTimer.setEnabled(true);
        workStarted();
        while (serialTransport().inBufferCount() >= 1) handleSerialInput(serialTransport().input());
        s.finishedReceiving = platform::clock().now();
        setPatientFound(true);
    } catch (...) {
        if (debugging())
            ui::toolkit().messageBox("The comm control encountered an unspecified error",
                                     "Attention!", ui::Icon::Critical);
    }
}

bool SessionWindow::handleSerialInput(const std::string& chunk) {
    SessionState& s = session();
    std::string end = endCharacter();
    if (chunk == end) {
        s.rawDataReceived += chunk;
        if (formatKindOf(text::upper(config().VendorFormatType.toText())) != FormatKind::Unknown) {
            bool result = processResponse(s.rawDataReceived);
            closePending = true;
            return result;
        }
        cmdClose();
        return false;
    }
    s.rawDataReceived += chunk;
    updateText(chunk);
    return false;
}

}  // namespace trellybridge::session
