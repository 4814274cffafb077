#include "common/Errors.h"

#include "common/ThreadState.h"

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
            return "ORVEL TCP: error attempting to open following port(s): " +
                   threadState().session.configuredPorts;
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

void recordError(errc code, std::string_view description) {
    std::string message = errorMessage(code, description, Recorder::Standard);
    if (!message.empty()) appendErrorElement(code, message);
}

std::string recordEnhancedError(errc code, std::string_view description) {
    std::string message = errorMessage(code, description, Recorder::Enhanced);
    threadState().enhancedError = message;
    if (!message.empty()) appendEnhancedErrorElement(code, message);
    return {};
}

void appendErrorElement(errc code, std::string_view message) {
    // Errors raised while an attempt is running are dropped: the attempt will be retried.
    if (threadState().session.attemptCount != 0) return;
    threadState().errorList += errorElement(code, message);
}

void appendEnhancedErrorElement(errc code, std::string_view message) {
    threadState().errorList += errorElement(code, message);
}

}  // namespace trellybridge
