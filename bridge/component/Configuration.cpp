#include "component/Configuration.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <vector>

#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/RequestSettings.h"
#include "common/Text.h"

namespace trellybridge::configuration {
namespace {

// A switch keeps its non-default value only when that is written exactly (after lower-casing).
Variant switchDefaultFalse(const Variant& value) {
    return value.lowerText() == "true" ? "true" : "false";
}
Variant switchDefaultTrue(const Variant& value) {
    return value.lowerText() == "false" ? "false" : "true";
}

void markIfEmpty(Variant& field) {
    if (field.isEmptyText()) field = kInvalidMarker;
}

void defaultIfEmpty(Variant& field, const char* value) {
    if (field.isEmptyText()) field = value;
}

bool isBlankAfterTrim(const Variant& value) {
    return text::isBlank(value.toText());
}

// A whole number of 0 or more (attempts, milliseconds), or nullopt.
std::optional<double> wholeCount(const Variant& value) {
    std::optional<double> number = value.toNumber();
    if (!number || !std::isfinite(*number) || *number < 0 || *number != std::floor(*number))
        return std::nullopt;
    return number;
}

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// A setting's value as a description may quote it: short, and no control character
// that would break the error list or the display.
std::string quoted(const Variant& value) {
    constexpr size_t kShown = 40;
    std::string text = value.toText();
    if (text.size() > kShown) text = text.substr(0, kShown) + "...";
    for (char& c : text)
        if (isControl(static_cast<unsigned char>(c))) c = '?';
    return "\"" + text + "\"";
}

}  // namespace

void storeArguments(BridgeConfiguration& c, const GetPatientArguments& a) {
    // Switch group 1.
    c.stripPaddedZeros = switchDefaultFalse(a.stripPaddedZeros);
    c.InsuranceOverrides = switchDefaultFalse(a.InsuranceOverrides);
    c.CaseSensitivity = switchDefaultFalse(a.CaseSensitivity);
    c.LogInsuranceEntries = a.LogInsuranceEntries;
    c.DisplayProperties = switchDefaultTrue(a.DisplayProperties);
    c.DisplayDebugger = switchDefaultTrue(a.DisplayDebugger);

    c.PatientID = text::trimSpaces(a.PatientID.toText());
    c.NetworkBridgeType = a.NetworkBridgeType.upperText();
    c.VendorName = a.VendorName.upperText();
    c.VendorFormatType = a.VendorFormatType.upperText();
    c.VendorFacility = a.VendorFacility;
    c.VendorRequestTag = a.VendorRequestTag;
    c.VendorFormatVersion = a.VendorFormatVersion;
    c.EOFCharacter = a.EOFCharacter;
    c.EOLCharacter = a.EOLCharacter;
    c.EOFRequest = a.EOFRequest;
    c.AllowedRetries = a.AllowedRetries;

    if (isBlankAfterTrim(c.LogInsuranceEntries)) c.LogInsuranceEntries = 20000;
    for (Variant* field : {&c.PatientID, &c.NetworkBridgeType, &c.VendorName, &c.VendorRequestTag,
                           &c.VendorFormatType, &c.VendorFormatVersion, &c.EOFCharacter,
                           &c.EOLCharacter, &c.EOFRequest, &c.AllowedRetries})
        markIfEmpty(*field);

    c.HISDSN = a.HISDSN;
    c.HISBusinessUnit = a.HISBusinessUnit;
    c.HTTPSOrganizationID = a.HTTPSOrganizationID;
    c.HTTPSSubjectCN = a.HTTPSSubjectCN;
    c.TCPRemoteHostName = a.TCPRemoteHostName.toText();
    c.TCPRemotePorts = a.TCPRemotePorts.toText();
    c.MEDICNumberDefault = a.MEDICNumberDefault;
    c.MEDICNumberLength = a.MEDICNumberLength;
    c.MEDICNumberValidList = a.MEDICNumberValidList;
    c.MEDICuseGuarantorAddress = switchDefaultFalse(a.MEDICuseGuarantorAddress);
    for (Variant* field :
         {&c.HISDSN, &c.HISBusinessUnit, &c.HTTPSOrganizationID, &c.HTTPSSubjectCN,
          &c.TCPRemoteHostName, &c.TCPRemotePorts, &c.MEDICNumberLength, &c.MEDICNumberValidList})
        markIfEmpty(*field);

    // Serial group.
    c.CommPort = a.CommPort;
    c.DTR = switchDefaultFalse(a.DTR);
    c.RTS = switchDefaultFalse(a.RTS);
    c.EOF_ = switchDefaultFalse(a.EOF_);
    c.NullDiscard = switchDefaultFalse(a.NullDiscard);
    c.Parity = a.Parity.lowerText();
    c.Handshaking = a.Handshaking;
    c.InputMode = a.InputMode;
    c.BPS = a.BPS;
    c.DataBits = a.DataBits;
    c.StopBits = a.StopBits;
    c.FlowControl = a.FlowControl;
    c.InputLength = a.InputLength;
    c.InBufferSize = a.InBufferSize;
    c.OutBufferSize = a.OutBufferSize;
    c.RThreshold = a.RThreshold;
    c.SThreshold = a.SThreshold;
    c.SerialTimeout = a.SerialTimeout;
    for (Variant* field :
         {&c.Handshaking, &c.InputMode, &c.BPS, &c.DataBits, &c.Parity, &c.StopBits, &c.FlowControl,
          &c.InputLength, &c.InBufferSize, &c.OutBufferSize, &c.RThreshold, &c.SThreshold})
        markIfEmpty(*field);
    defaultIfEmpty(c.SerialTimeout, "5");
    markIfEmpty(c.CommPort);

    c.VendorApplicationPath = a.VendorApplicationPath;
    c.VendorRequestPath = a.VendorRequestPath;
    c.VendorResultsPath = a.VendorResultsPath;
    c.NetworkTimeout = a.NetworkTimeout;
    c.TimeDelay = a.TimeDelay;
}

bool adjustForBridge(BridgeConfiguration& c, const Reasons& reasons) {
    std::optional<Transport> bridge = transport(c);
    if (bridge == Transport::SerialLine) {
        c.bridgeTimeout = c.SerialTimeout;
    } else if (bridge == Transport::Tcp) {
        c.bridgeTimeout = c.SerialTimeout;
        if (isUnset(c.AllowedRetries)) {
            reasons.note(FailureKind::Settings,
                         "the request was not sent: AllowedRetries is not set");
            return false;
        }
        std::optional<double> retries = wholeCount(c.AllowedRetries);
        if (!retries) return true;
        // Past what a 64-bit whole number holds, the count stays a double.
        double more = *retries + 1;
        if (more < 9.0e18)
            c.AllowedRetries = static_cast<long long>(more);
        else
            c.AllowedRetries = more;
    } else {
        c.bridgeTimeout = c.NetworkTimeout;
    }
    return true;
}

CompanyCheck checkCompanyNumber(BridgeConfiguration& c, const Reasons& reasons) {
    std::string defaultCompany = c.MEDICNumberDefault.toText();
    if (defaultCompany.empty() || text::upper(defaultCompany) == "N/A") {
        c.medicCompanyMode = false;
        return CompanyCheck::Passed;
    }
    c.medicCompanyMode = true;

    std::string patientId = c.PatientID.toText();
    size_t dash = patientId.find('-');
    std::string company =
        text::upper(dash == std::string::npos ? defaultCompany : patientId.substr(0, dash));
    c.MEDICNumberValidList = c.MEDICNumberValidList.upperText();
    if (company.empty()) {
        reasons.record(errc::MissingCompanyNumber);
        return CompanyCheck::Rejected;
    }

    std::vector<std::string> entries;
    std::string list = c.MEDICNumberValidList.toText();
    for (size_t start = 0;;) {
        size_t comma = list.find(',', start);
        entries.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    constexpr size_t kMaxEntries = 101;
    if (entries.size() > kMaxEntries) return CompanyCheck::Rejected;

    for (const std::string& entry : entries) {
        if (entry != company) continue;
        // NOLINTNEXTLINE(performance-inefficient-string-concatenation): once, then it returns
        if (dash == std::string::npos) c.PatientID = defaultCompany + "-" + patientId;
        return CompanyCheck::Passed;
    }
    reasons.record(errc::InvalidCompanyNumber,
                   company + " is not a valid company number for current user");
    return CompanyCheck::Rejected;
}

void assignBridgePaths(BridgeConfiguration& c) {
    std::optional<VendorPaths> paths = vendorPathsOf(bridgeKind(c));
    if (paths == VendorPaths::None) {
        c.VendorApplicationPath = c.VendorRequestPath = c.VendorResultsPath = "N/A";
    } else if (paths == VendorPaths::RequestAndResults) {
        c.VendorApplicationPath = "N/A";
    } else if (paths == VendorPaths::ResultsFolder) {
        c.VendorApplicationPath = c.VendorRequestPath = "N/A";
        std::string folder = c.VendorResultsPath.toText();
        if (folder.empty() || folder.back() != '\\') folder += '\\';
        folder = folder.substr(0, folder.rfind('\\') + 1);
        c.VendorResultsPath = folder + c.PatientID.toText() + ".dat";
    }
}

std::string patientIdProblem(const BridgeConfiguration& c) {
    std::string id = c.PatientID.toText();
    for (char ch : id)
        if (isControl(static_cast<unsigned char>(ch)))
            return "PatientID contains a control character (code " +
                   std::to_string(static_cast<unsigned char>(ch)) + ")";
    if (vendorPathsOf(bridgeKind(c)) != VendorPaths::ResultsFolder) return {};
    for (char separator : {'/', '\\'})
        if (id.find(separator) != std::string::npos)
            return std::string("PatientID contains \"") + separator +
                   "\", which cannot be part of a results file name";
    if (id == "." || id == "..") return "PatientID " + quoted(id) + " cannot name a results file";
    return {};
}

std::vector<std::string> unusableSettings(const BridgeConfiguration& c) {
    std::vector<std::string> problems;
    // An empty TimeDelay takes the default; any other value is the timer's interval.
    std::optional<double> ms = wholeCount(c.TimeDelay);
    if (!c.TimeDelay.isEmptyText() && !(ms && *ms >= 1 && *ms <= INT_MAX))
        problems.push_back(
            "TimeDelay must be a whole number of milliseconds from 1 to 2147483647, not " +
            quoted(c.TimeDelay));
    if (!isUnset(c.AllowedRetries) && !wholeCount(c.AllowedRetries))
        problems.push_back("AllowedRetries must be a whole number of 0 or more, not " +
                           quoted(c.AllowedRetries));
    std::optional<Transport> bridge = transport(c);
    // A serial session counts its attempts against AllowedRetries itself: with 0 it would
    // end without sending, and say no patient was found.
    if (bridge == Transport::SerialLine && !isUnset(c.AllowedRetries) &&
        wholeCount(c.AllowedRetries) == 0.0)
        problems.push_back(
            "AllowedRetries must be 1 or more over a serial line, where 0 sends nothing, not " +
            quoted(c.AllowedRetries));
    if (bridge == Transport::Tcp && !isUnset(c.TCPRemotePorts) &&
        !portList(c.TCPRemotePorts.toText()))
        problems.push_back(
            "TCPRemotePorts must be port numbers from 1 to 65535 separated by commas, not " +
            quoted(c.TCPRemotePorts));
    if (bridge == Transport::WebService && !isUnset(c.VendorApplicationPath)) {
        std::string address = c.VendorApplicationPath.toText() +
                              (isUnset(c.VendorRequestPath) ? "" : c.VendorRequestPath.toText());
        if (text::lower(address.substr(0, 8)) != "https://" || address.size() == 8)
            problems.push_back(
                "VendorApplicationPath must be the web service's https:// address, not " +
                quoted(c.VendorApplicationPath));
    }
    return problems;
}

void applyFinalDefaults(BridgeConfiguration& c) {
    // Restoring the common page blanks the log size after the first pass set it: without
    // the size again, errors go unpublished and the insurance log unwritten.
    if (isBlankAfterTrim(c.LogInsuranceEntries)) c.LogInsuranceEntries = 20000;
    markIfEmpty(c.VendorApplicationPath);
    markIfEmpty(c.VendorRequestPath);
    markIfEmpty(c.VendorResultsPath);
    defaultIfEmpty(c.NetworkTimeout, "5");
    defaultIfEmpty(c.TimeDelay, "1000");
}

bool normaliseCommonParameters(BridgeConfiguration& c, const Reasons& reasons) {
    for (Variant* field : {&c.CaseSensitivity, &c.DisplayDebugger, &c.DisplayProperties, &c.DTR,
                           &c.EOF_, &c.InsuranceOverrides, &c.NullDiscard, &c.Parity, &c.RTS,
                           &c.stripPaddedZeros, &c.MEDICuseGuarantorAddress})
        *field = field->lowerText();
    for (Variant* field : {&c.NetworkBridgeType, &c.VendorFormatType, &c.VendorName})
        *field = field->upperText();
    c.PatientID = text::trimSpaces(c.PatientID.toText());

    for (Variant* field : {&c.stripPaddedZeros, &c.InsuranceOverrides, &c.CaseSensitivity, &c.DTR,
                           &c.RTS, &c.EOF_, &c.NullDiscard, &c.MEDICuseGuarantorAddress})
        *field = switchDefaultFalse(*field);
    c.DisplayProperties = switchDefaultTrue(c.DisplayProperties);
    c.DisplayDebugger = switchDefaultTrue(c.DisplayDebugger);

    if (isBlankAfterTrim(c.LogInsuranceEntries)) c.LogInsuranceEntries = 20000;
    defaultIfEmpty(c.SerialTimeout, "5");
    defaultIfEmpty(c.NetworkTimeout, "5");
    defaultIfEmpty(c.TimeDelay, "1000");

    for (Variant* field : {&c.AllowedRetries,
                           &c.BPS,
                           &c.CommPort,
                           &c.DataBits,
                           &c.EOFCharacter,
                           &c.EOFRequest,
                           &c.EOLCharacter,
                           &c.FlowControl,
                           &c.Handshaking,
                           &c.HISBusinessUnit,
                           &c.HISDSN,
                           &c.HTTPSOrganizationID,
                           &c.HTTPSSubjectCN,
                           &c.InBufferSize,
                           &c.InputLength,
                           &c.InputMode,
                           &c.MEDICNumberLength,
                           &c.MEDICNumberValidList,
                           &c.NetworkBridgeType,
                           &c.OutBufferSize,
                           &c.Parity,
                           &c.PatientID,
                           &c.RThreshold,
                           &c.SThreshold,
                           &c.StopBits,
                           &c.TCPRemotePorts,
                           &c.TCPRemoteHostName,
                           &c.VendorApplicationPath,
                           &c.VendorFormatType,
                           &c.VendorFormatVersion,
                           &c.VendorName,
                           &c.VendorRequestPath,
                           &c.VendorRequestTag,
                           &c.VendorResultsPath})
        markIfEmpty(*field);

    if (!adjustForBridge(c, reasons)) return false;

    std::optional<VendorPaths> paths = vendorPathsOf(bridgeKind(c));
    if (paths == VendorPaths::None)
        c.VendorApplicationPath = c.VendorRequestPath = c.VendorResultsPath = "N/A";
    else if (paths == VendorPaths::RequestAndResults)
        c.VendorApplicationPath = "N/A";
    return true;
}

}  // namespace trellybridge::configuration
