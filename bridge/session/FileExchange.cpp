// The file-exchange bridges: VENDOR writes a request file and starts the vendor's
// program, POLLING writes the request file only, FOLDERS waits for <PatientID>.dat; all
// of them (and USB) read the answer from the results file.
#include "common/BridgeConfiguration.h"
#include "common/ThreadState.h"
#include "formats/Keywords.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "session/RequestBuilder.h"
#include "session/SessionWindow.h"
#include "settings/Settings.h"

namespace trellybridge::session {
namespace {

constexpr const char* CRLF = "\r\n";

bool isKnownFormat(const std::string& name) {
    return name == "STANDARD" || name == "HL7" || name == "SCAN" || name == "XML";
}

std::string attemptText(const std::string& what) {
    const SessionState& s = threadState().session;
    return " Attempt Number " + std::to_string(s.attemptCount) + " of " +
           threadState().config.AllowedRetries.toText() + " to " + what + "..." + CRLF;
}

// Writes the request file: the request as one line for the known formats, else empty.
bool writeRequestFile(const BridgeConfiguration& c, const std::string& request) {
    std::string content = isKnownFormat(c.VendorFormatType.toText()) ? request + CRLF : "";
    return fs::writeFileAtomically(c.VendorRequestPath.toText(), content, 0600);
}

}  // namespace

bool SessionWindow::deletePatientFiles() {
    SessionState& s = threadState().session;
    const BridgeConfiguration& c = threadState().config;
    if (s.attemptCount == 0) {
        s.completionCode = 1;
        clearText();
        updateText(std::string("Removing previous file(s)...") + CRLF);
    } else {
        updateText(attemptText("delete patient file(s)"));
    }
    fs::removeFile(c.VendorResultsPath.toText());
    fs::removeFile(c.VendorRequestPath.toText());
    return true;
}

bool SessionWindow::sendNetworkRequest() {
    SessionState& s = threadState().session;
    const BridgeConfiguration& c = threadState().config;
    if (s.attemptCount == 0) {
        s.completionCode = 1;
        clearText();
        updateText(std::string("Sending patient request over network...") + CRLF);
    } else {
        updateText(attemptText("send patient request"));
    }
    request::BuiltRequest built = request::buildRequest(c);
    if (!built.formatKnown) failureNotice("ERROR building patient request");
    s.requestText = built.text;

    std::string type = c.NetworkBridgeType.toText();
    bool sent = true;
    std::string failure;
    if (type == "VENDOR") {
        std::string program = c.VendorApplicationPath.toText();
        if (!settings::folderContains(settings::folderPartOf(program),
                                      settings::fileNameOf(program))) {
            sent = false;
            failure = "vendor program not found: " + program;
        } else if (isUnset(c.VendorRequestPath)) {
            sent = process::start(fs::hostPath(program), {c.PatientID.toText()}, true, true);
            if (!sent) failure = "cannot start " + program;
        } else {
            sent = writeRequestFile(c, s.requestText);
            if (!sent) failure = "cannot write " + c.VendorRequestPath.toText();
            if (sent) sent = process::start(fs::hostPath(program), {}, true, false);
            if (!sent && failure.empty()) failure = "cannot start " + program;
        }
    } else if (type == "POLLING") {
        sent = writeRequestFile(c, s.requestText);
        if (!sent) failure = "cannot write " + c.VendorRequestPath.toText();
    }
    if (!sent) failureNotice("Unable to send patient request", failure);
    return sent;
}

std::string SessionWindow::readPatientFile() {
    SessionState& s = threadState().session;
    const BridgeConfiguration& c = threadState().config;
    if (s.attemptCount == 0) {
        s.completionCode = 1;
        clearText();
        updateText(std::string("Reading patient file...") + CRLF);
    } else {
        updateText(" Attempt Number " + std::to_string(s.attemptCount) +
                   " to read patient file..." + CRLF);
    }
    std::string path = c.VendorResultsPath.toText();
    std::optional<std::string> content = fs::readFile(path);
    if (!content) return {};
    s.rawDataReceived = *content;
    s.finishedReceiving = platform::clock().now();

    bool parsed = false;
    if (isKnownFormat(c.VendorFormatType.toText())) {
        std::string end;
        double code = c.EOFCharacter.numericValue();
        if (code >= 0 && code <= 255)
            end = std::string(1, static_cast<char>(static_cast<unsigned char>(code)));
        parsed = processResponse(s.rawDataReceived + end + end);
    }
    if (!parsed) return {};
    if (inForce(c, keyword::PurgePatientData)) fs::removeFile(path);
    return s.rawDataReceived;
}

}  // namespace trellybridge::session
