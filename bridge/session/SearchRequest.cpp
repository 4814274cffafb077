#include "session/SearchRequest.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>

#include "common/Text.h"
#include "common/XmlHelpers.h"

namespace trellybridge::session {
namespace {

// Where `tag` (any case) first ends in `text`, or npos.
size_t afterTag(std::string_view text, std::string_view tag) {
    size_t at = text::upper(text).find(text::upper(tag));
    return at == std::string::npos ? at : at + tag.size();
}

// A request without the tag is sent as the host wrote it: nothing lands inside another tag.
std::string insertAfterTag(std::string text, std::string_view tag, std::string_view insertion) {
    size_t at = afterTag(text, tag);
    if (at != std::string::npos) text.insert(at, insertion);
    return text;
}

// Removes `prefix` wherever it directly follows `tag` (any case): "<PatientID>1-42" with
// the prefix "1-" becomes "<PatientID>42". One pass over the text, however many tags.
std::string removeAfterTag(const std::string& text, std::string_view tag, std::string_view prefix) {
    std::string upperText = text::upper(text);
    std::string upperTag = text::upper(tag);
    std::string out;
    out.reserve(text.size());
    size_t copied = 0;
    for (size_t at = upperText.find(upperTag); at != std::string::npos;
         at = upperText.find(upperTag, at + tag.size())) {
        size_t value = at + tag.size();
        if (std::string_view(text).substr(value, prefix.size()) != prefix) continue;
        out.append(text, copied, value - copied);
        copied = value + prefix.size();
    }
    out.append(text, copied);
    return out;
}

bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A social security number written 123-45-6789: its dashes are no company number.
bool dashedSocial(std::string_view value) {
    return value.size() == 11 && value[3] == '-' && value[6] == '-' &&
           allDigits(value.substr(0, 3)) && allDigits(value.substr(4, 2)) &&
           allDigits(value.substr(7));
}

bool lettersOrDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0;
    });
}

// The company number in front of a search key's first dash, of at most MEDICNumberLength
// characters: letters or digits in front of an identifier ("ABC-1001", "3-1001"), digits
// only in front of a name, so that a hyphenated name ("SMITH-JONES") stays whole. A social
// security number, dashed or searched for, has none.
std::optional<std::string> companyPrefix(const BridgeConfiguration& c, std::string_view on,
                                         const std::string& value) {
    size_t dash = value.find('-');
    if (dash == std::string::npos || c.MEDICNumberLength.toText() == "0") return std::nullopt;
    if (on == "SSN" || dashedSocial(value)) return std::nullopt;
    std::string company = value.substr(0, dash);
    std::optional<std::int64_t> length = c.MEDICNumberLength.toWholeNumber();
    if (!(on == "PID" ? lettersOrDigits(company) : allDigits(company)) ||
        (length && *length > 0 && company.size() > static_cast<size_t>(*length)))
        return std::nullopt;
    return company;
}

struct SearchKey {
    std::string_view index, tag;
    std::string value;
};

SearchKey searchKey(const BridgeConfiguration& c) {
    std::string on = text::upper(c.SearchOn);
    if (on == "PID") return {"<SearchIndex>1</SearchIndex>", "<PatientID>", c.PatientID.toText()};
    if (on == "NAME") {
        if (!c.LastName.empty()) return {"<SearchIndex>2</SearchIndex>", "<LastName>", c.LastName};
        return {"<SearchIndex>2</SearchIndex>", "<FirstName>", c.FirstName};
    }
    if (on == "SSN") return {"<SearchIndex>3</SearchIndex>", "<Social>", c.Social};
    return {};
}

}  // namespace

SearchRequest buildSearchRequest(const BridgeConfiguration& c, std::string_view section) {
    SearchKey key = searchKey(c);
    SearchRequest request{std::string(section), c.CompanyName};
    if (request.companyName.empty()) {
        if (std::optional<std::string> company =
                companyPrefix(c, text::upper(c.SearchOn), key.value)) {
            request.companyName = text::upper(*company);
            request.text = removeAfterTag(request.text, key.tag, *company + "-");
        }
        std::string fallback = c.MEDICNumberDefault.toText();
        if (request.companyName.empty() && !fallback.empty() && text::upper(fallback) != "N/A")
            request.companyName = text::upper(fallback);
        if (!request.companyName.empty())
            request.text =
                insertAfterTag(std::move(request.text), "<CompanyID>", request.companyName);
    }
    request.text = insertAfterTag(std::move(request.text), "<SearchInfo>", key.index);
    return request;
}

std::string enhancedResultFor(std::string_view answer, std::string_view enhancedError) {
    std::string upperAnswer = text::upper(answer);
    std::string result;
    if (text::contains(upperAnswer, "<RESULT>") && text::contains(upperAnswer, "</RESULT>"))
        result = xml::getXMLTagValue(answer, "Result", true);
    if (!result.empty()) {
        std::string upperResult = text::upper(result);
        int patients = 0;
        for (size_t at = upperResult.find("<PATIENT>"); at != std::string::npos;
             at = upperResult.find("<PATIENT>", at + 1))
            ++patients;
        size_t after = afterTag(result, "</TransactionID>");
        if (after != std::string::npos)
            result.insert(after, "<RecordCount>" + std::to_string(patients) + "</RecordCount>");
        return result;
    }
    if (!enhancedError.empty())
        return "<Result><Message>" + std::string(answer) + "</Message><Error>" +
               std::string(enhancedError) + "</Error></Result>";
    return "<Result><RecordCount>0</RecordCount><Error>No records found matching the "
           "request!</Error></Result>";
}

}  // namespace trellybridge::session
