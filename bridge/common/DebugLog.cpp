#include "common/DebugLog.h"

#include <cstdio>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/RequestState.h"
#include "platform/FileSystem.h"

namespace trellybridge {
namespace {

constexpr const char* kLogFolder = "C:\\BridgeLogs";

class Dump {
public:
    void line(const std::string& text) { text_ += text + "\r\n"; }
    void lines(const std::string& text) { text_ += text; }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

// A value as the dump shows it: a runaway setting must not fill the disk either.
std::string t(const Variant& value) {
    return answerForDisplay(value.toText());
}

std::string t(const std::string& value) {
    return answerForDisplay(value);
}

}  // namespace

std::string tcpDumpSection(const BridgeConfiguration& c, const SessionState& s) {
    Dump d;
    d.line("TCP:: ");
    d.line("  localname:" + s.localHostName + "    localip:" + s.localIP);
    d.line("  remotename:" + t(c.TCPRemoteHostName) + "    remoteIP:" + s.remoteIP);
    d.line("  portstring:" + s.configuredPorts + "    lastgoodport:" + s.lastGoodPort);
    d.line("  randomizedports:" + s.randomizedPorts);
    for (int i = 0; i < s.portCount && i < SessionState::kMaxPorts; ++i)
        if (!s.portResults[static_cast<size_t>(i)].empty())
            d.line("  attempted port:" + s.portList[static_cast<size_t>(i)] +
                   "    result:" + s.portResults[static_cast<size_t>(i)]);
    return d.take();
}

std::string webServiceDumpSection(const BridgeConfiguration& c, const SessionState&) {
    Dump d;
    d.line("HTTPS:: ");
    d.line("  organizationID:" + t(c.HTTPSOrganizationID) + "    subjectCN:" + t(c.HTTPSSubjectCN));
    return d.take();
}

std::string serialDumpSection(const BridgeConfiguration& c, const SessionState&) {
    Dump d;
    d.line("SERIAL:: ");
    d.line("  comm port:" + t(c.CommPort) + "   DTR/RTS/EOF: " + t(c.DTR) + "/" + t(c.RTS) + "/" +
           t(c.EOF_));
    d.line("  handshaking:" + t(c.Handshaking) + "    input mode:" + t(c.InputMode) +
           "   null discards:" + t(c.NullDiscard));
    d.line("  bps/data bits/parity/stop bits:" + t(c.BPS) + "/" + t(c.DataBits) + "/" +
           t(c.Parity) + "/" + t(c.StopBits));
    d.line("  flow control:" + t(c.FlowControl) + "    serial timeout:" + t(c.SerialTimeout));
    return d.take();
}

// A record is far smaller than the minimum, so turning the log over keeps whole records;
// past the maximum the two files would take more disk than a log deserves.
constexpr ByteSetting kDebugLogLimit{"TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES", std::size_t{64} * 1024,
                                     std::size_t{1024} * 1024 * 1024,
                                     std::size_t{16} * 1024 * 1024};

std::size_t maxDebugLogBytes() {
    return byteSetting(kDebugLogLimit);
}

std::string debugLogLimitProblem() {
    return byteSettingProblem(kDebugLogLimit);
}

std::string stepTimeText(const std::optional<platform::LocalTime>& time) {
    if (!time) return "ABORTED";
    int hour12 = time->hour % 12 == 0 ? 12 : time->hour % 12;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d %s", hour12, time->minute, time->second,
                  time->hour < 12 ? "AM" : "PM");
    return buffer;
}

std::string debugDump(const RequestState& state) {
    const BridgeConfiguration& c = state.config;
    const SessionState& s = state.session;
    std::string bridge = t(c.NetworkBridgeType);
    Dump d;
    d.line(platform::formatDate(platform::clock().now(), "yyyy.mm.dd:HH.MM.SS"));
    d.line(
        "  --------------------------------------------- KOLV  "
        "--------------------------------------------- ");
    d.line("PID::" + t(c.PatientID));
    if (!s.identifierMatch.empty()) d.line("  matched:" + s.identifierMatch);
    d.line("BUILD:: ");
    d.line("  version:" + s.buildLabel);
    d.line("FORMAT:: ");
    d.line("  type:" + bridge + "   delimiter(s):" + s.recordDelimiter +
           "   timeout:" + t(c.bridgeTimeout) + " seconds  attempts:" + t(c.AllowedRetries));
    if (s.pace == Pace::Fast) d.line("  pace:fast");
    d.line("  vendorfacility:" + t(c.VendorFacility) + "    vendorapplication:" + t(c.VendorName) +
           "   formattype:" + t(c.VendorFormatType) + "   version:" + t(c.VendorFormatVersion));
    d.line("  eofrequest:" + t(c.EOFRequest) + "   eofresponse:" + s.eofFirstCode +
           "   eol:" + s.eolFirstCode);
    d.line("  request tag:" + t(c.VendorRequestTag));
    if (const BridgeRow* row = bridgeRow(bridgeKind(c)); row && row->dump) d.lines(row->dump(c, s));
    d.line("COMPANY NUMBER & GUARANTOR FLAG:: ");
    d.line("  Company Number Default: " + t(c.MEDICNumberDefault));
    d.line("  Company Number Length: " + t(c.MEDICNumberLength));
    d.line("  Company Number Valid List: " + t(c.MEDICNumberValidList));
    d.line("  Use Guarantor Address: " + t(c.MEDICuseGuarantorAddress));
    d.line("TIMESTAMPS:: ");
    d.line("  started sending:" + stepTimeText(s.startedSending) +
           "   finished sending:" + stepTimeText(s.finishedSending));
    d.line("  started receiving:" + stepTimeText(s.startedReceiving) +
           "   finished receiving:" + stepTimeText(s.finishedReceiving));
    d.line("  started parsing:" + stepTimeText(s.startedParsing) +
           "   finished parsing:" + stepTimeText(s.finishedParsing));
    if (transport(c) == Transport::SerialLine || transport(c) == Transport::Tcp)
        d.line("  close port attempts:" + std::to_string(s.closePortAttempts));
    d.line("LOGS:: ");
    std::string maxRows = t(c.LogInsuranceEntries);
    d.line("  debug.log:TRUE   insurance.log:" + std::string(maxRows.empty() ? "FALSE" : "TRUE") +
           "   maxrows:" + maxRows);
    d.line("ERRORS:: ");
    // Earlier requests' errors stay in the list: the newest are the ones this dump is for.
    d.line("  successful:" + std::string(state.patientFound ? "TRUE" : "FALSE") + "  " +
           newestForDisplay(state.errorList));
    for (const std::string& failure : state.failures.story()) d.line("  failure:" + failure);
    d.line("REQUEST:: ");
    d.line(vendorPathsOf(bridgeKind(c)) == VendorPaths::ResultsFolder
               ? "  (n/a for folders style bridge)"
               : "  " + t(s.requestText));
    d.line("RESPONSE:: ");
    d.line("  raw data received...");
    d.line("  " + answerForDisplay(s.rawDataReceived));  // a runaway answer must not fill the disk
    d.line("");
    return d.take();
}

bool writeDebugLog(RequestState& state) {
    std::string path =
        fs::folderExists(kLogFolder) ? "C:\\BridgeLogs\\BRIDGEDEBUG.log" : "c:\\BRIDGEDEBUG.log";
    if (!fs::appendToBoundedLog(path, debugDump(state), maxDebugLogBytes(), 0600)) {
        state.reasons().record(errc::DebugLogFailed);
        return false;
    }
    state.debugLogFile = fs::hostPath(path);
    return true;
}

}  // namespace trellybridge
