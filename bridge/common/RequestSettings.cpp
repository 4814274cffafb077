#include "common/RequestSettings.h"

#include <algorithm>
#include <limits>

#include "common/Keywords.h"
#include "common/Text.h"

namespace trellybridge {
namespace {

// Every keyword a step asks after.
constexpr std::string_view kKeywords[] = {
    keyword::RemoveQuotes,
    keyword::RemoveExtraPhoneNumbers,
    keyword::SuppressCompanyNumber,
    keyword::NoPatientSsn,
    keyword::NoDoctor,
    keyword::CopyPatientAddressToGuarantor,
    keyword::OneInsuranceOnly,
    keyword::NoInsurance,
    keyword::UseIn2_61ForPolicy,
    keyword::UseIn1_9ForInsuranceName,
    keyword::UseIn1ForGuarantorNameOnly,
    keyword::UseIn1ForGuarantor,
    keyword::UsePidForGuarantor,
    keyword::RelationshipCodes,
    keyword::Kxra,
    keyword::BypassPidCheckForAstm,
    keyword::ChangeLfToCr,
    keyword::Hl7UniqueMsh10,
    keyword::Hl7EntityMrn,
    keyword::PurgePatientData,
    keyword::TcpForce,
    keyword::Mllp,
};

// The timer interval in ms. GetPatient refuses a TimeDelay outside 1 to 2147483647;
// the conversion is bounded all the same, since a double past int's range has no int.
int timeDelayOf(const BridgeConfiguration& c) {
    double ms = c.TimeDelay.numericValue();
    if (!(ms > 0)) return 0;
    return ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                 : static_cast<int>(ms);
}

std::optional<char> endOfAnswerOf(const Variant& setting) {
    std::optional<double> code = setting.toNumber();
    if (!code || !(*code >= 0 && *code <= 255)) return std::nullopt;
    return static_cast<char>(static_cast<unsigned char>(*code));
}

std::string endCharacterOf(const Variant& setting) {
    double code = setting.numericValue();
    if (code < 0 || code > 255) return {};
    return std::string(1, static_cast<char>(static_cast<unsigned char>(code)));
}

}  // namespace

KeywordSet::KeywordSet(const BridgeConfiguration& config) : localIp_(localIpKeyword(config)) {
    for (std::string_view keyword : kKeywords)
        if (inForce(config, keyword)) inForce_.push_back(keyword);
}

bool KeywordSet::inForceHas(std::string_view keyword) const {
    return std::find(inForce_.begin(), inForce_.end(), keyword) != inForce_.end();
}

std::optional<std::vector<std::uint16_t>> portList(std::string_view list) {
    std::vector<std::uint16_t> ports;
    for (size_t start = 0; start <= list.size();) {
        size_t comma = std::min(list.find(',', start), list.size());
        std::string item = text::trimSpaces(std::string(list.substr(start, comma - start)));
        start = comma + 1;
        if (item.empty()) continue;
        if (item.size() > 5 || item.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        int port = std::stoi(item);
        if (port < 1 || port > 65535) return std::nullopt;
        ports.push_back(static_cast<std::uint16_t>(port));
    }
    if (ports.empty()) return std::nullopt;
    return ports;
}

RequestSettings readRequestSettings(const BridgeConfiguration& c) {
    RequestSettings s;
    s.bridge = bridgeKind(c);
    s.format = formatKind(c);
    s.patientId = c.PatientID.toText();
    s.timeDelayMs = timeDelayOf(c);
    s.serialTimeoutTicks = c.SerialTimeout.numericValue();
    s.networkTimeoutTicks = c.NetworkTimeout.numericValue();
    double bound = s.serialTimeoutTicks * c.TimeDelay.numericValue();
    s.waitBoundMs = static_cast<int>(std::clamp(bound, 1000.0, 120000.0));
    s.attempts = allowedAttempts(c);
    s.retryLimit = c.AllowedRetries.numericValue();
    s.ports = portList(c.TCPRemotePorts.toText()).value_or(std::vector<std::uint16_t>{});
    s.remoteHost = c.TCPRemoteHostName.toText();
    s.endOfAnswer = endOfAnswerOf(c.EOFCharacter);
    s.endCharacter = endCharacterOf(c.EOFCharacter);
    s.applicationPath = c.VendorApplicationPath.toText();
    s.requestPath = c.VendorRequestPath.toText();
    s.resultsPath = c.VendorResultsPath.toText();
    s.keywords = KeywordSet(c);
    s.debugging = c.DisplayDebugger.toText() == "true";
    s.caseSensitive = c.CaseSensitivity.toText() != "false";
    s.medicGuarantorAddress = c.MEDICuseGuarantorAddress.toText() == "true";
    s.vendor = c.VendorName.upperText();
    return s;
}

}  // namespace trellybridge
