#include "formats/Codecs.h"

#include <cmath>

#include "common/BridgeConfiguration.h"
#include "common/Errors.h"
#include "common/Keywords.h"
#include "common/Text.h"
#include "formats/Formats.h"
#include "platform/Clock.h"

namespace trellybridge::request {
namespace {

constexpr char CR = '\r', VT = '\v', FS = '\x1c';
constexpr size_t kMaxEofCodes = 21;

// YYYYMMDDHHMM, each part read from the clock on its own as the vendor's systems expect.
std::string hl7TimeStamp(platform::Clock& clock) {
    std::string date = platform::formatDate(clock.now(), "yyyymmdd");
    std::string hour = platform::formatDate(clock.now(), "HH");
    std::string minute = platform::formatDate(clock.now(), "MM");
    return date + hour + minute;
}

struct CompanySplit {
    std::string company, identifier;
};

CompanySplit splitCompany(const BridgeConfiguration& c) {
    std::string patientId = c.PatientID.toText();
    if (c.MEDICNumberLength.toText() == "0") return {"", patientId};
    CompanySplit split{"", patientId};
    if (size_t dash = patientId.find('-'); dash != std::string::npos)
        split = {text::upper(patientId.substr(0, dash)), patientId.substr(dash + 1)};
    std::string defaultCompany = c.MEDICNumberDefault.toText();
    if (!defaultCompany.empty() && defaultCompany != "N/A" && split.company.empty())
        split.company = text::upper(defaultCompany);
    return split;
}

std::string hl7Trailer(const BridgeConfiguration& c, ErrorNotices& notices) {
    std::string trailer;
    if (!isUnset(c.EOFRequest)) trailer = parseEOFRequest(c.EOFRequest.toText(), notices);
    return trailer.empty() ? std::string{CR, FS} : trailer;
}

bool isDynamic(const BridgeConfiguration& c) {
    return c.VendorRequestTag.toText() == kDynamicTag;
}

// The request tag with [PID] replaced by the identifier; `otherwise` when it holds no [PID].
std::string fromTag(const BridgeConfiguration& c, const std::string& otherwise) {
    std::string tag = c.VendorRequestTag.toText();
    if (!text::contains(text::upper(tag), "[PID]")) return otherwise;
    return text::replaceAll(tag, "[PID]", c.PatientID.toText());
}

std::string tagRequest(const BridgeConfiguration& c) {
    return fromTag(c, c.VendorRequestTag.toText());
}

std::string buildScanText(const BridgeConfiguration& c) {
    return "ACCT=" + c.PatientID.toText() + ",PGI\r\n";
}

std::string buildXmlText(const BridgeConfiguration& c) {
    std::string patientId = c.PatientID.toText();
    size_t dash = patientId.find('-');
    std::string company = dash == std::string::npos ? "" : patientId.substr(0, dash);
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><PATIENT id=\"" + patientId +
           "\" CompanyNumber=\"" + company + "\" />";
}

}  // namespace

BuiltRequest buildRequest(const BridgeConfiguration& c, platform::Clock& clock) {
    if (const formats::Format* format = formats::formatOf(formatKind(c)))
        return format->build(c, clock);
    return {tagRequest(c), false};
}

BuiltRequest buildStandardRequest(const BridgeConfiguration& c, platform::Clock&) {
    if (isDynamic(c) && c.VendorName.toText() == "HIS") return {buildHISRequest(c)};
    return {fromTag(c, c.VendorRequestTag.toText() + c.PatientID.toText())};
}

BuiltRequest buildHl7Request(const BridgeConfiguration& c, platform::Clock& clock) {
    BuiltRequest built;
    built.text = isDynamic(c) ? buildHL7Query(c, built.notices, clock) : tagRequest(c);
    return built;
}

BuiltRequest buildScanRequest(const BridgeConfiguration& c, platform::Clock&) {
    return {isDynamic(c) ? buildScanText(c) : tagRequest(c)};
}

BuiltRequest buildXmlRequest(const BridgeConfiguration& c, platform::Clock&) {
    return {isDynamic(c) ? buildXmlText(c) : tagRequest(c)};
}

std::string buildHL7Query(const BridgeConfiguration& c, ErrorNotices& notices,
                          platform::Clock& clock) {
    CompanySplit split = splitCompany(c);
    std::string trailer = hl7Trailer(c, notices);
    std::string controlId =
        inForce(c, keyword::Hl7UniqueMsh10) ? std::to_string(clock.tickCount()) : "0001";
    std::string suffix = inForce(c, keyword::Hl7EntityMrn) ? "^^^^^^^^^^^E" : "";

    std::string msh = "MSH|^~\\&|LUMAK|ORVEL|" + c.VendorName.toText() + "|" +
                      c.VendorFacility.toText() + "|" + hl7TimeStamp(clock) + "+0000^S||QRY^Q01|" +
                      controlId + "|P|" + c.VendorFormatVersion.toText() + "|" + CR;
    std::string qrd = "QRD|" + hl7TimeStamp(clock) + "+0000^S|R|I|0001|||1^RD|" +
                      text::trimSpaces(split.identifier) + suffix + "|DEM|" + split.company +
                      "||T|";
    return VT + msh + qrd + trailer;
}

std::string buildHISRequest(const BridgeConfiguration& c) {
    return "[Orvel]\r\nAccount=" + c.PatientID.toText() + "\r\nDSN=" + c.HISDSN.toText() +
           "\r\nBU=" + c.HISBusinessUnit.toText() + "\r\n";
}

std::string parseEOFRequest(std::string_view codes, ErrorNotices& notices) {
    std::string characters;
    size_t start = 0;
    for (size_t item = 0; item < kMaxEofCodes; ++item) {
        size_t comma = codes.find(',', start);
        Variant code(std::string(
            codes.substr(start, comma == std::string_view::npos ? comma : comma - start)));
        auto number = code.toNumber();
        double rounded = number ? std::nearbyint(*number) : -1;
        if (!number || code.isEmptyText() || rounded < 0 || rounded > 255) {
            notices.push_back(
                {errc::InvalidParameter, std::string(codes) + " is an invalid EOFrequest string"});
            return {};
        }
        characters += static_cast<char>(static_cast<unsigned char>(rounded));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return characters;
}

std::string endOfRequest(const BridgeConfiguration& c, ErrorNotices& notices) {
    std::string list = c.EOFRequest.toText();
    const formats::Format* format = formats::formatOf(formatKind(c));
    if (isUnset(c.EOFRequest) && format && !format->unsetEndOfRequest.empty())
        list = format->unsetEndOfRequest;
    return parseEOFRequest(list, notices);
}

}  // namespace trellybridge::request
