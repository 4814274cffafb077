#include "component/EnhancedRequest.h"

#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/Text.h"
#include "common/XmlHelpers.h"
#include "component/Configuration.h"
#include "component/ThreadState.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace configuration {
namespace {

// The BridgeParameters keys in the order they are read, with the settings they fill.
struct Key {
    std::string_view name;
    Variant BridgeConfiguration::*field;
};
constexpr Key kBridgeKeys[] = {
    {"NetworkBridgeType", &BridgeConfiguration::NetworkBridgeType},
    {"VendorFacility", &BridgeConfiguration::VendorFacility},
    {"VendorName", &BridgeConfiguration::VendorName},
    {"Debug", &BridgeConfiguration::DisplayDebugger},
    {"DisplayProperties", &BridgeConfiguration::DisplayProperties},
    {"EOFCharacter", &BridgeConfiguration::EOFCharacter},
    {"EOLCharacter", &BridgeConfiguration::EOLCharacter},
    {"EOFRequest", &BridgeConfiguration::EOFRequest},
    {"LogInsuranceEntries", &BridgeConfiguration::LogInsuranceEntries},
    {"TimeDelay", &BridgeConfiguration::TimeDelay},
    {"VendorRequestTag", &BridgeConfiguration::VendorRequestTag},
    {"VendorFormatType", &BridgeConfiguration::VendorFormatType},
    {"VendorFormatVersion", &BridgeConfiguration::VendorFormatVersion},
    {"TrimPaddingZeros", &BridgeConfiguration::stripPaddedZeros},
    {"CaseSensitivity", &BridgeConfiguration::CaseSensitivity},
    {"AllowedRetries", &BridgeConfiguration::AllowedRetries},
    {"ComPort", &BridgeConfiguration::CommPort},
    {"InputLength", &BridgeConfiguration::InputLength},
    {"DTR", &BridgeConfiguration::DTR},
    {"InBufferSize", &BridgeConfiguration::InBufferSize},
    {"RTS", &BridgeConfiguration::RTS},
    {"OutBufferSize", &BridgeConfiguration::OutBufferSize},
    {"EOF", &BridgeConfiguration::EOF_},
    {"RThreshold", &BridgeConfiguration::RThreshold},
    {"Handshaking", &BridgeConfiguration::Handshaking},
    {"SThreshold", &BridgeConfiguration::SThreshold},
    {"InputMode", &BridgeConfiguration::InputMode},
    {"SerialTimeout", &BridgeConfiguration::SerialTimeout},
    {"NullDiscard", &BridgeConfiguration::NullDiscard},
    {"BitsPerSecond", &BridgeConfiguration::BPS},
    {"DataBits", &BridgeConfiguration::DataBits},
    {"Parity", &BridgeConfiguration::Parity},
    {"StopBits", &BridgeConfiguration::StopBits},
    {"FlowControl", &BridgeConfiguration::FlowControl},
    {"TCPRemoteHostName", &BridgeConfiguration::TCPRemoteHostName},
    {"TCPRemotePorts", &BridgeConfiguration::TCPRemotePorts},
    {"NetworkRequestPath", &BridgeConfiguration::VendorRequestPath},
    {"NetworkResultsPath", &BridgeConfiguration::VendorResultsPath},
    {"VendorApplicationPath", &BridgeConfiguration::VendorApplicationPath},
    {"NetworkTimeout", &BridgeConfiguration::NetworkTimeout},
    {"MEDICNumberDefault", &BridgeConfiguration::MEDICNumberDefault},
    {"MEDICNumberLength", &BridgeConfiguration::MEDICNumberLength},
    {"MEDICNumberValidList", &BridgeConfiguration::MEDICNumberValidList},
    {"MEDICUseGuarantorAddress", &BridgeConfiguration::MEDICuseGuarantorAddress},
    {"HTTPSOrganizationID", &BridgeConfiguration::HTTPSOrganizationID},
    {"HTTPSSubjectCN", &BridgeConfiguration::HTTPSSubjectCN},
    {"HISDSN", &BridgeConfiguration::HISDSN},
    {"HISBusinessUnit", &BridgeConfiguration::HISBusinessUnit},
};

std::string value(std::string_view section, std::string_view key) {
    return xml::getXMLTagValue(section, key, false);
}

}  // namespace

void storeRequestSections(BridgeConfiguration& c, std::string_view, std::string_view searchInfo,
                          std::string_view bridgeParameters) {
    // UserInfo (CalledFrom, UserName, ClientNumber), EnhancedBridging and the search's
    // PatientAltID, BirthDate and MaxRecords are part of the request but change nothing.
    for (const Key& key : kBridgeKeys) c.*key.field = value(bridgeParameters, key.name);
    c.SearchOn = value(searchInfo, "SearchOn");
    c.PatientID = text::trimSpaces(value(searchInfo, "PatientID"));
    c.CompanyName = value(searchInfo, "CompanyName");
    c.LastName = text::trimSpaces(value(searchInfo, "LastName"));
    c.FirstName = text::trimSpaces(value(searchInfo, "FirstName"));
    c.Social = text::trimSpaces(value(searchInfo, "Social"));
}

}  // namespace configuration

namespace {

// The most a request may hold: the command line's limit for a request file, so that a
// host cannot hand the library more than the command would.
constexpr std::size_t kMaxRequestBytes = std::size_t{1024} * 1024;

// A search that cannot run says why in its result, as a session error would.
void refuseSearch(const Reasons& reasons, const std::string& problem) {
    reasons.recordEnhanced(errc::InvalidParameter, problem);
    reasons.note(FailureKind::Settings, problem);
}

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// The section on one line, as the vendor reads it: spaces are dropped, and so is a run of
// white space between two elements (a request laid out over lines); what is left of the
// control characters is refused by searchSectionProblem.
std::string oneLine(std::string_view section) {
    std::string text = text::replaceAll(section, " ", "");
    std::string kept;
    kept.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        bool blank = text[at] == '\t' || text[at] == '\r' || text[at] == '\n';
        if (blank && (kept.empty() || kept.back() == '>')) {
            size_t next = text.find_first_not_of("\t\r\n", at);
            if (next == std::string::npos || text[next] == '<') {
                at = (next == std::string::npos ? text.size() : next) - 1;
                continue;
            }
        }
        kept += text[at];
    }
    return kept;
}

// The section goes to the vendor as it stands: a control character anywhere in it (a CR
// LF splits the request into lines, an ESC reaches the vendor's screen) is refused as one
// in a PatientID is. Empty text when there is none.
std::string searchSectionProblem(std::string_view section) {
    std::string where = "the search section";
    for (size_t at = 0; at < section.size(); ++at) {
        auto c = static_cast<unsigned char>(section[at]);
        if (c == '<') {
            size_t close = section.find('>', at);
            std::string_view tag = section.substr(at + 1, close - std::min(close, at + 1));
            for (char inTag : tag)
                if (isControl(static_cast<unsigned char>(inTag)))
                    return "a tag contains a control character (code " +
                           std::to_string(static_cast<unsigned char>(inTag)) + ")";
            if (close == std::string_view::npos) break;
            where = tag.starts_with('/') ? "the text after <" + std::string(tag.substr(0, 40)) + ">"
                                         : std::string(tag.substr(0, 40));
            at = close;
            continue;
        }
        if (isControl(c))
            return where + " contains a control character (code " + std::to_string(c) + ")";
    }
    return {};
}

}  // namespace

Variant TrellyBridgeComm::SetGlobalValues() {
    ThreadState& state = threadState();
    state.enhancedError.clear();
    configuration::storeRequestSections(state.config, state.userInfoSection,
                                        state.searchInfoSection, state.bridgeParametersSection);
    return {};
}

std::string TrellyBridgeComm::GetPatientData(std::string_view mRequest) {
    ThreadState& state = threadState();
    // Nothing of an earlier request may be returned for this one: not its result, and not
    // its found flag, which would close the window before any search.
    state.enhancedResult.clear();
    state.patientFound = false;
    try {
        state.record.clear();
        state.failures.clear();
        if (mRequest.size() > kMaxRequestBytes) {
            state.enhancedError.clear();
            refuseSearch(state.reasons(), "the request is larger than " +
                                              std::to_string(kMaxRequestBytes) + " bytes");
        } else {
            state.userInfoSection = xml::getXMLTagValue(mRequest, "UserInfo", true);
            state.searchInfoSection = oneLine(xml::getXMLTagValue(mRequest, "SearchInfo", true));
            state.bridgeParametersSection = xml::getXMLTagValue(mRequest, "BridgeParameters", true);
            SetGlobalValues();
            if (!configuration::normaliseCommonParameters(state.config, state.reasons()))
                return state.enhancedResult;
            state.enhancedResult.clear();
            // Settings that can never work (a timer interval of 0 would spin) are refused.
            std::vector<std::string> unusable = configuration::unusableSettings(state.config);
            std::string problem = unusable.empty() ? "" : unusable.front();
            if (problem.empty()) problem = searchSectionProblem(state.searchInfoSection);
            session::RequestOptions search;
            search.kind = session::RequestKind::Search;
            if (!problem.empty())
                refuseSearch(state.reasons(), problem);
            else
                runFromThread(state, search);
        }
        if (text::trimSpaces(state.enhancedResult).empty() && !state.patientFound) {
            state.patientFound = false;
            state.enhancedResult.clear();
            if (!state.enhancedError.empty())
                state.enhancedResult = "<Result><RecordCount>0</RecordCount><Error>" +
                                       state.enhancedError + "</Error></Result>";
        }
    } catch (...) {
    }
    publishFailure(state.failures, false);  // a search notes only what failed
    return state.enhancedResult;
}

}  // namespace trellybridge
