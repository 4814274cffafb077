#include "session/SearchRequest.h"

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
// the prefix "1-" becomes "<PatientID>42".
std::string removeAfterTag(std::string text, std::string_view tag, std::string_view prefix) {
    std::string upperTag = text::upper(tag);
    for (size_t at = text::upper(text).find(upperTag); at != std::string::npos;) {
        size_t value = at + tag.size();
        if (std::string_view(text).substr(value, prefix.size()) == prefix)
            text.erase(value, prefix.size());
        at = text::upper(text).find(upperTag, value);
    }
    return text;
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
        size_t dash = key.value.find('-');
        if (c.MEDICNumberLength.toText() != "0" && dash != std::string::npos) {
            std::string company = key.value.substr(0, dash + 1);
            request.companyName = text::upper(company.substr(0, dash));
            request.text = removeAfterTag(std::move(request.text), key.tag, company);
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
