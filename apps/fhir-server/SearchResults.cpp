#include "SearchResults.h"

#include <algorithm>
#include <cctype>

#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::fhirserver {
namespace {

std::string upper(std::string_view text) {
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return folded;
}

std::string entitiesReplaced(std::string_view text) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
    std::string plain;
    for (size_t at = 0; at < text.size(); ++at) {
        bool replaced = false;
        if (text[at] == '&')
            for (const auto& [entity, c] : kEntities)
                if (text.substr(at, entity.size()) == entity) {
                    plain += c;
                    at += entity.size() - 1;
                    replaced = true;
                    break;
                }
        if (!replaced) plain += text[at];
    }
    return plain;
}

// The child elements <Name>value</Name> of one <Patient> element's content (`folded` is
// the same text in upper case, so that every tag is looked for once).
ListedPatient fieldsOf(std::string_view content, std::string_view folded) {
    ListedPatient fields;
    for (size_t at = content.find('<'); at != std::string_view::npos; at = content.find('<', at)) {
        size_t close = content.find('>', at);
        if (close == std::string_view::npos) break;
        std::string_view name = content.substr(at + 1, close - at - 1);
        at = close + 1;
        if (name.empty() || name[0] == '/' || name.back() == '/') continue;
        std::string end =
            "</" + std::string(folded.substr(at - name.size() - 1, name.size())) + ">";
        size_t valueEnd = folded.find(end, at);
        if (valueEnd == std::string_view::npos) continue;
        fields.emplace(std::string(name), entitiesReplaced(content.substr(at, valueEnd - at)));
        at = valueEnd + end.size();
    }
    return fields;
}

// The result property a listed element fills: PatientID, BirthDate and Social under the
// record's names, the others after "p1Patient" (LastName, City, HomePhone, ...).
std::optional<ResultProperty> propertyOf(const std::string& element) {
    static const std::pair<std::string_view, std::string_view> kRenamed[] = {
        {"PATIENTID", "p1PatientUniqueID"},
        {"BIRTHDATE", "p1PatientDOB"},
        {"SOCIAL", "p1PatientSSN"}};
    std::string folded = upper(element);
    for (const auto& [name, property] : kRenamed)
        if (folded == name) return findProperty(property);
    std::optional<ResultProperty> property = findProperty("p1Patient" + element);
    if (property &&
        static_cast<int>(*property) >= static_cast<int>(ResultProperty::p2UsualProvider))
        return std::nullopt;  // only the patient's own fields
    return property;
}

}  // namespace

std::vector<ListedPatient> listedPatients(std::string_view result, std::size_t limit,
                                          std::size_t& listed) {
    std::vector<ListedPatient> patients;
    listed = 0;
    std::string folded = upper(result);
    for (size_t at = folded.find("<PATIENT"); at != std::string::npos;
         at = folded.find("<PATIENT", at)) {
        size_t open = folded.find('>', at);
        if (open == std::string::npos) break;
        // <PatientID> inside a patient is no patient of its own.
        std::string_view tag = std::string_view(folded).substr(at + 8, open - at - 8);
        if (!tag.empty() && tag[0] != ' ' && tag[0] != '\t') {
            at = open;
            continue;
        }
        size_t close = folded.find("</PATIENT>", open);
        if (close == std::string::npos) break;
        ++listed;
        if (patients.size() < limit)
            patients.push_back(
                fieldsOf(result.substr(open + 1, close - open - 1),
                         std::string_view(folded).substr(open + 1, close - open - 1)));
        at = close + 10;
    }
    return patients;
}

std::string patientBundle(const ListedPatient& patient, const std::string& accountSystem) {
    TrellyBridgeComm record;
    for (const auto& [element, value] : patient)
        if (std::optional<ResultProperty> property = propertyOf(element))
            record.setPropertyText(*property, value);
    return record.patientAsFhir(accountSystem);
}

}  // namespace trellybridge::fhirserver
