#include "Search.h"

#include <cctype>

#include "common/Text.h"
#include "common/XmlHelpers.h"

namespace trellybridge::vendorsim {
namespace {

std::string value(std::string_view query, std::string_view tag) {
    return xml::getXMLTagValue(query, tag, false);
}

// What names and numbers are compared by: letters upper-cased, blanks gone; digits only.
std::string nameKey(std::string_view name) {
    std::string key;
    for (char c : name)
        if (!std::isspace(static_cast<unsigned char>(c))) key += c;
    return text::upper(key);
}
std::string digits(std::string_view number) {
    std::string key;
    for (char c : number)
        if (std::isdigit(static_cast<unsigned char>(c))) key += c;
    return key;
}

std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

bool matches(const SamplePatient& p, std::string_view query) {
    std::string index = value(query, "SearchIndex");
    if (index == "1") {
        std::string id = value(query, "PatientID");
        return !id.empty() && id == p.account;
    }
    if (index == "2") {
        std::string last = nameKey(value(query, "LastName"));
        if (!last.empty()) return last == nameKey(p.field("p1PatientLastName"));
        std::string first = nameKey(value(query, "FirstName"));
        return !first.empty() && first == nameKey(p.field("p1PatientFirstName"));
    }
    if (index == "3") {
        std::string ssn = digits(value(query, "Social"));
        return !ssn.empty() && ssn == digits(p.field("p1PatientSSN"));
    }
    return false;
}

std::string patientElement(const SamplePatient& p) {
    static const std::pair<const char*, const char*> kElements[] = {
        {"PatientID", "p1PatientUniqueID"},  {"LastName", "p1PatientLastName"},
        {"FirstName", "p1PatientFirstName"}, {"MiddleInitial", "p1PatientMiddleInitial"},
        {"BirthDate", "p1PatientDOB"},       {"Gender", "p1PatientGender"},
        {"Social", "p1PatientSSN"},          {"Address1", "p1PatientAddress1"},
        {"City", "p1PatientCity"},           {"State", "p1PatientState"},
        {"Postal", "p1PatientPostal"},       {"HomePhone", "p1PatientHomePhone"},
    };
    std::string out = "<Patient>";
    for (const auto& [tag, field] : kElements) {
        std::string v = std::string_view(tag) == "PatientID" ? p.account : p.field(field);
        out += "<" + std::string(tag) + ">" + escaped(v) + "</" + tag + ">";
    }
    return out + "</Patient>";
}

}  // namespace

bool isSearchRequest(std::string_view query) {
    return text::containsUpperCased(query, "<SEARCHINFO>");
}

std::string searchAnswer(const std::vector<SamplePatient>& patients, std::string_view query,
                         int transactionId) {
    std::string out =
        "<Result><TransactionID>" + std::to_string(transactionId) + "</TransactionID>";
    for (const SamplePatient& p : patients)
        if (matches(p, query)) out += patientElement(p);
    return out + "</Result>";
}

}  // namespace trellybridge::vendorsim
