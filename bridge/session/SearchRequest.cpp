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

namespace {

// Where the element `upperName` (upper case) next starts at or after `from` in `upper`:
// its name followed by the end of the tag, a blank or "/" (so <PATIENT> and <PATIENT ID="7">,
// never <PATIENTID>); npos when it does not.
size_t elementStart(std::string_view upper, std::string_view upperName, size_t from) {
    std::string open = "<" + std::string(upperName);
    for (size_t at = upper.find(open, from); at != std::string_view::npos;
         at = upper.find(open, at + 1)) {
        size_t after = at + open.size();
        if (after < upper.size() &&
            std::string_view("> \t\r\n/").find(upper[after]) != std::string_view::npos)
            return at;
    }
    return std::string_view::npos;
}

// Where the element starting at `at` ends (past its closing tag, or past "/>"); the end
// of the text when it is never closed.
size_t elementEnd(std::string_view upper, std::string_view upperName, size_t at) {
    size_t tagEnd = upper.find('>', at);
    if (tagEnd == std::string_view::npos) return upper.size();
    if (upper[tagEnd - 1] == '/') return tagEnd + 1;
    size_t close = upper.find("</" + std::string(upperName) + ">", tagEnd);
    return close == std::string_view::npos ? upper.size() : close + upperName.size() + 3;
}

// Removes every element `upperName` from `upper`, and the same bytes from `text` (the
// text `upper` is the upper-case copy of) when given.
void removeElements(std::string& upper, std::string_view upperName, std::string* text = nullptr) {
    for (size_t at = elementStart(upper, upperName, 0); at != std::string::npos;
         at = elementStart(upper, upperName, at)) {
        size_t end = elementEnd(upper, upperName, at);
        upper.erase(at, end - at);
        if (text) text->erase(at, end - at);
    }
}

}  // namespace

int listedPatients(std::string_view result) {
    std::string upper = text::upper(result);
    // What an Error or Message element holds is no patient of the list.
    for (std::string_view name : {"ERROR", "MESSAGE"}) removeElements(upper, name);
    int patients = 0;
    for (size_t at = elementStart(upper, "PATIENT", 0); at != std::string::npos;
         at = elementStart(upper, "PATIENT", at + 1))
        ++patients;
    return patients;
}

std::string enhancedResultFor(std::string_view answer, std::string_view enhancedError) {
    std::string upperAnswer = text::upper(answer);
    std::string result;
    if (text::contains(upperAnswer, "<RESULT>") && text::contains(upperAnswer, "</RESULT>"))
        result = xml::getXMLTagValue(answer, "Result", true);
    if (!result.empty()) {
        // One count, the component's: whatever count the vendor put in goes.
        std::string upper = text::upper(result);
        removeElements(upper, "RECORDCOUNT", &result);
        size_t after = afterTag(result, "</TransactionID>");
        if (after == std::string::npos) after = std::string_view("<Result>").size();
        result.insert(after,
                      "<RecordCount>" + std::to_string(listedPatients(result)) + "</RecordCount>");
        return result;
    }
    if (!enhancedError.empty())
        return "<Result><Message>" + std::string(answer) + "</Message><Error>" +
               std::string(enhancedError) + "</Error></Result>";
    return "<Result><RecordCount>0</RecordCount><Error>No records found matching the "
           "request!</Error></Result>";
}

}  // namespace trellybridge::session
