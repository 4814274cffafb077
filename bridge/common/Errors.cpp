#include "common/Errors.h"

#include <algorithm>
#include <map>
#include <set>

namespace trellybridge {

std::optional<std::string> tableMessage(errc code, std::string_view description,
                                        Recorder recorder) {
    const std::string detail(description);
    // No default: the compiler names a code that has no case here.
    switch (code) {
        case errc::SocketLibrary: return std::nullopt;
        case errc::WebServiceUndetermined:
            return "NETWORK Server: undetermined network error attempting to connect to remote web "
                   "service";
        case errc::PageTimedOut: return "ORVEL Server: page request timed out";
        case errc::UrlNotParsed: return "ORVEL Server: URL could not be parsed";
        case errc::SaveWriteFailed: return "ORVEL Server: writing the file on save failed";
        case errc::SaveCreateFailed: return "ORVEL Server: creating the file on save failed";
        case errc::RedirectWithoutDestination:
            return "ORVEL Server: redirect was requested, no destination supplied";
        case errc::RedirectWithDestination:
            return "ORVEL Server: redirect was requested, destination was supplied";
        case errc::Hl7ParseFailed: return "HL7 Parser: error attempting to parse hl7 stream";
        case errc::Hl7Parser: return "HL7 Parser: " + detail;
        case errc::XmlParseFailed: return "XML Parser: error attempting to parse XML stream";
        case errc::XmlParser: return "XML Parser: " + detail;
        case errc::InvalidParameter: return "ORVEL Parameter: " + detail;
        case errc::InvalidCompanyNumber: return "ORVEL Parameter: " + detail;
        case errc::MissingCompanyNumber:
            return "ORVEL Parameter: a company number must precede the patientID (ie. 1-123456789) "
                   "or a default must be defined";
        case errc::PortOpenFailed:
            return "ORVEL TCP: error attempting to open following port(s): " + detail;
        case errc::SendFailed: return "ORVEL TCP: error attempting to send request";
        case errc::SendWithoutConnection:
            return "ORVEL TCP: error attempting to send data without establishing a connection";
        case errc::ReceiveWithoutConnection:
            return "ORVEL TCP: error attempting to receive data without establishing a connection";
        case errc::ReceiveFailed: return "ORVEL TCP: error attempting to receive data";
        case errc::ClosePortFailed: return "ORVEL TCP: error attempting to close port";
        case errc::ReceivingDataFailed: return "ORVEL TCP: error receiving data";
        case errc::HostTimedOut:
            return recorder == Recorder::Enhanced
                       ? "Error 328. No patient found or timeout waiting for response"
                       : "ORVEL TCP: timed out waiting for host to respond to request";
        case errc::SerialTimerFailed: return "ORVEL TCP: undefined serial timer error in bridge";
        case errc::LoadTcpSettingsFailed:
            return "ORVEL TCP: undefined load tcp settings error in bridge";
        case errc::ShutdownFailed: return "ORVEL TCP: error attempting to shutdown connection";
        case errc::SocketCloseFailed: return "ORVEL TCP: error attempting to close windows socket";
        case errc::SocketEndFailed: return "ORVEL TCP: error attempting to end windows socket";
        case errc::ForcedShutdown: return "ORVEL TCP: required to force tcp shutdown";
        case errc::InsuranceLogFailed: return "ORVEL LOG: unable to save insurance log";
        case errc::DebugLogFailed: return "ORVEL LOG: unable to save debug log";
        case errc::SerialCloseFailed: return "SERIAL Port: error attempting to close serial port";
    }
    return std::nullopt;  // a number outside the table: the description is the message
}

std::string errorMessage(errc code, std::string_view description, Recorder recorder) {
    return tableMessage(code, description, recorder).value_or(std::string(description));
}

std::string errorElement(errc code, std::string_view message) {
    std::string id = std::to_string(errorNumber(code));
    std::string element = "<error id=\"" + id + "\" description=\"";
    element.append(message);
    element += "\">";
    element.append(message);
    element += "</error>\r\n";
    return element;
}

namespace {

constexpr std::string_view kElementOpen = "<error id=\"";
// The longest message read back (the recorders' messages are far shorter).
constexpr size_t kLongestMessage = size_t{64} * 1024;

struct ElementReading {
    size_t end;  // where the element ends in the list
    ErrorListEntry entry;
};

// The ways the text at `start` reads as one element (see errorElement): the message M
// stands in M ">" M "</error>" CR LF.
std::vector<ElementReading> elementsAt(std::string_view list, size_t start) {
    constexpr std::string_view kDescription = "\" description=\"", kMiddle = "\">",
                               kClose = "</error>\r\n";
    std::vector<ElementReading> readings;
    std::string_view text = list.substr(start);
    if (!text.starts_with(kElementOpen)) return readings;
    size_t at = kElementOpen.size();
    bool negative = text.substr(at).starts_with('-');
    size_t digits = at + (negative ? 1 : 0), first = digits;
    while (digits < text.size() && digits - first < 9 && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    if (digits == first || !text.substr(digits).starts_with(kDescription)) return readings;
    int code = 0;
    for (size_t i = first; i < digits; ++i) code = code * 10 + (text[i] - '0');
    if (negative) code = -code;
    std::string_view body = text.substr(digits + kDescription.size());
    for (size_t length = body.find(kMiddle); length != std::string_view::npos;
         length = body.find(kMiddle, length + 1)) {
        size_t end = 2 * length + kMiddle.size() + kClose.size();
        // Bounded, so that a long list is read in time linear in its length.
        if (end > body.size() || length > kLongestMessage) break;
        std::string_view message = body.substr(0, length);
        if (body.substr(length + kMiddle.size(), length) != message ||
            body.substr(end - kClose.size(), kClose.size()) != kClose)
            continue;
        readings.push_back({list.size() - (body.size() - end), {code, std::string(message)}});
    }
    return readings;
}

}  // namespace

std::vector<ErrorListEntry> errorListEntries(std::string_view list) {
    // A message may hold what looks like the end of its element and the start of the
    // next, so each element can read in more than one way: follow every reading, position
    // by position, and keep the one that reads the whole list (else the longest).
    std::map<size_t, std::pair<size_t, ErrorListEntry>> reachedFrom;  // end -> (start, entry)
    std::set<size_t> pending{0};
    size_t furthest = 0;
    while (!pending.empty()) {
        size_t start = *pending.begin();
        pending.erase(pending.begin());
        furthest = std::max(furthest, start);
        for (auto& reading : elementsAt(list, start)) {
            if (reachedFrom.contains(reading.end)) continue;
            reachedFrom.emplace(reading.end, std::make_pair(start, std::move(reading.entry)));
            pending.insert(reading.end);
        }
    }
    std::vector<ErrorListEntry> entries;
    for (size_t at = furthest; at != 0;) {
        auto& [start, entry] = reachedFrom.at(at);
        entries.push_back(std::move(entry));
        at = start;
    }
    std::reverse(entries.begin(), entries.end());
    return entries;
}

}  // namespace trellybridge
