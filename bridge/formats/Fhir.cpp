#include "formats/Fhir.h"

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <vector>

#include "common/NameUuid.h"
#include "common/Text.h"

namespace trellybridge::formats {
namespace {

using Json = nlohmann::ordered_json;
using F = RecordField;
using I = InsuranceField;

constexpr std::string_view kSsnSystem = "http://hl7.org/fhir/sid/us-ssn";
constexpr std::string_view kNpiSystem = "http://hl7.org/fhir/sid/us-npi";
constexpr std::string_view kIcd9System = "http://hl7.org/fhir/sid/icd-9-cm";
constexpr std::string_view kIcd10System = "http://hl7.org/fhir/sid/icd-10-cm";
constexpr std::string_view kIdentifierTypes = "http://terminology.hl7.org/CodeSystem/v2-0203";
constexpr std::string_view kRoleClass = "http://terminology.hl7.org/CodeSystem/v3-RoleClass";
constexpr std::string_view kRoleCode = "http://terminology.hl7.org/CodeSystem/v3-RoleCode";
constexpr std::string_view kSubscriberRelationship =
    "http://terminology.hl7.org/CodeSystem/subscriber-relationship";
constexpr std::string_view kCoverageClass = "http://terminology.hl7.org/CodeSystem/coverage-class";

// The namespace of every UUID in our Bundles.
constexpr UuidBytes kBundleNamespace = {0x3b, 0x27, 0x4b, 0xb5, 0x54, 0x5a, 0x4b, 0xcd,
                                        0xaf, 0x14, 0x2a, 0x87, 0xe9, 0x5c, 0x78, 0xcf};

bool isBlankChar(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// FHIR strings may not be empty and should not start or end with blanks: vendor
// fields padded to their width are trimmed, and a field of blanks is no value.
std::string clean(std::string_view value) {
    size_t first = 0, last = value.size();
    while (first < last && isBlankChar(value[first])) ++first;
    while (last > first && isBlankChar(value[last - 1])) --last;
    return text::windows1252ToUtf8(value.substr(first, last - first));
}

// A FHIR code holds no blank but single spaces between words.
std::string cleanCode(std::string_view value) {
    std::string out;
    bool gap = false;
    for (char c : clean(value)) {
        if (isBlankChar(c)) {
            gap = true;
            continue;
        }
        if (gap) out += ' ';
        out += c;
        gap = false;
    }
    return out;
}

void put(Json& object, const char* key, const std::string& value) {
    if (!value.empty()) object[key] = value;
}
void put(Json& object, const char* key, Json value) {
    if (!value.empty()) object[key] = std::move(value);
}
void put(Json& array, const std::string& value) {
    if (!value.empty()) array.push_back(value);
}
void append(Json& array, Json value) {
    if (!value.empty()) array.push_back(std::move(value));
}

Json coding(std::string_view system, const std::string& code, const std::string& display = {}) {
    Json out{{"system", system}, {"code", code}};
    put(out, "display", display);
    return out;
}

Json identifier(std::string_view system, const std::string& value) {
    if (value.empty()) return {};
    return Json{{"system", system}, {"value", value}};
}

// An identifier typed by its v2-0203 code, under `system` when one is known.
Json typedIdentifier(const char* typeCode, const std::string& value, std::string_view system = {}) {
    if (value.empty()) return {};
    Json out{{"type", {{"coding", Json::array({coding(kIdentifierTypes, typeCode)})}}}};
    if (!system.empty()) out["system"] = system;
    out["value"] = value;
    return out;
}

// Ten digits whose last is the Luhn check digit of the other nine behind the card issuer
// prefix 80840, as every NPI is made.
bool validNpi(std::string_view npi) {
    if (npi.size() != 10 || npi.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    std::string digits = "80840" + std::string(npi.substr(0, 9));
    int sum = 0;
    bool doubled = true;  // the digit left of the check digit is doubled
    for (auto c = digits.rbegin(); c != digits.rend(); ++c, doubled = !doubled) {
        int d = (*c - '0') * (doubled ? 2 : 1);
        sum += d > 9 ? d - 9 : d;
    }
    return (10 - sum % 10) % 10 == npi[9] - '0';
}

// A number sent as an NPI that is none keeps its value and what the record calls it, but
// not the NPI system or code, which would vouch for it.
Json npiIdentifier(const std::string& value) {
    if (value.empty()) return {};
    if (validNpi(value)) return typedIdentifier("NPI", value, kNpiSystem);
    return Json{{"type", {{"text", "NPI"}}}, {"value", value}};
}

// A relationship of a RelatedPerson to the patient.
Json relationshipConcept(Json codings, const std::string& text) {
    return Json{{"coding", std::move(codings)}, {"text", text}};
}

Json telecom(const char* system, const std::string& value, const char* use) {
    if (value.empty()) return {};
    return Json{{"system", system}, {"value", value}, {"use", use}};
}

Json address(std::string_view line1, std::string_view line2, std::string_view city,
             std::string_view state, std::string_view postal, const char* use = nullptr) {
    Json out = Json::object();
    Json lines = Json::array();
    for (std::string_view line : {line1, line2}) put(lines, clean(line));
    if (use &&
        !(lines.empty() && clean(city).empty() && clean(state).empty() && clean(postal).empty()))
        out["use"] = use;
    put(out, "line", std::move(lines));
    put(out, "city", clean(city));
    put(out, "state", clean(state));
    put(out, "postalCode", clean(postal));
    return out;
}

Json personName(std::string_view last, std::string_view first, std::string_view middle) {
    Json out = Json::object();
    put(out, "family", clean(last));
    Json given = Json::array();
    put(given, clean(first));
    put(given, clean(middle));
    put(out, "given", std::move(given));
    return out;
}

// A name held in one field: the text as sent, and family and given names where its form
// shows them ("LAST,FIRST MIDDLE" or the HL7 "LAST^FIRST^MIDDLE").
// Whether a field says anything: some parsers join an empty last and first name into ","
// (or "^"), which names nobody.
bool meaningful(std::string_view value) {
    return value.find_first_not_of(" \t\r\n,^") != std::string_view::npos;
}

Json nameFromText(std::string_view whole) {
    std::string name = clean(whole);
    if (!meaningful(name)) return {};
    Json out{{"text", name}};
    char separator = name.find('^') != std::string::npos   ? '^'
                     : name.find(',') != std::string::npos ? ','
                                                           : '\0';
    if (!separator) return out;
    size_t cut = name.find(separator);
    put(out, "family", clean(std::string_view(name).substr(0, cut)));
    Json given = Json::array();
    std::string rest = name.substr(cut + 1);
    for (char& c : rest)
        if (c == '^' || c == ',') c = ' ';
    for (size_t at = 0; at < rest.size();) {
        size_t end = rest.find(' ', at);
        if (end == std::string::npos) end = rest.size();
        put(given, clean(std::string_view(rest).substr(at, end - at)));
        at = end + 1;
    }
    put(out, "given", std::move(given));
    return out;
}

Json reference(const std::string& fullUrl) {
    return Json{{"reference", fullUrl}};
}

// A diagnosis code, and the coding system its answer named: an HL7 coded element
// "code^text^I10" is ICD-10-CM; a plain code is ICD-9-CM, as the record's fields say.
struct Diagnosis {
    std::string code, display;
    std::string_view system = kIcd9System;
};
Diagnosis diagnosis(std::string_view code, std::string_view description) {
    Diagnosis out{cleanCode(code), clean(description)};
    if (out.code.find('^') == std::string::npos) return out;
    std::vector<std::string> parts;
    for (size_t at = 0;;) {
        size_t end = out.code.find('^', at);
        parts.push_back(out.code.substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    std::string system = parts.size() > 2 ? text::upper(cleanCode(parts[2])) : "";
    if (system == "I10" || system == "I10C") out.system = kIcd10System;
    if (out.display.empty() && parts.size() > 1) out.display = clean(parts[1]);
    out.code = cleanCode(parts[0]);
    return out;
}

// The insured's relationship in the vendor's words or the two- and three-letter codes
// (SE/SEL, SP/SPO, CH/CHD, OT/OTH); a number or anything else maps to nothing.
std::string subscriberRelationship(std::string_view vendor) {
    std::string code = text::upper(clean(vendor));
    if (code == "SE" || code == "SEL" || code == "SELF") return "self";
    if (code == "SP" || code == "SPO" || code == "SPOUSE") return "spouse";
    if (code == "CH" || code == "CHD" || code == "CHILD") return "child";
    if (code == "OT" || code == "OTH" || code == "OTHER") return "other";
    return {};
}

// The insured's relationship (a subscriber-relationship code) as the v3 role the person
// plays for the patient; "other" names none, and the patient is no RelatedPerson.
std::string personalRelationship(const std::string& subscriberRelationship) {
    if (subscriberRelationship == "spouse") return "SPS";
    if (subscriberRelationship == "child") return "CHILD";
    return {};
}

// The text as it can be shown in a message: at most 80 characters, bytes outside
// printable ASCII as \xHH.
std::string shown(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text.substr(0, 80)) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return text.size() > 80 ? out + "..." : out;
}

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An OID: arcs of digits, the first 0, 1 or 2, none but "0" with a leading zero.
bool isOid(std::string_view text) {
    if (text.size() < 3 || text[0] < '0' || text[0] > '2' || text[1] != '.') return false;
    for (size_t at = 2; at <= text.size();) {
        size_t end = std::min(text.find('.', at), text.size());
        std::string_view arc = text.substr(at, end - at);
        if (arc.empty() || (arc.size() > 1 && arc[0] == '0')) return false;
        for (char c : arc)
            if (!isDigit(c)) return false;
        at = end + 1;
    }
    return true;
}

bool isUuid(std::string_view text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char c = text[i];
        if (dash ? c != '-' : !(isDigit(c) || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

class BundleBuilder {
public:
    BundleBuilder(const PatientRecord& record, const FhirOptions& options)
        : record_(record),
          accountSystem_(options.identifierSystem),
          alternateSystem_(options.alternateIdentifierSystem) {
        for (const std::string& system : {accountSystem_, alternateSystem_})
            if (std::string problem = identifierSystemProblem(system); !problem.empty())
                throw std::invalid_argument(problem);
        account_ = clean(record[F::p1PatientUniqueID]);
        if (account_.empty()) account_ = clean(options.requestedPatientId);
        // The UUIDs hang off the account; a record without one is named by its content.
        if (!account_.empty()) {
            base_ = accountSystem_ + "|" + account_;
        } else {
            base_ = "record";
            for (const std::string& field : record.fields) base_ += "\x1f" + field;
            for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot)
                for (const std::string& field : record.insurance[static_cast<size_t>(slot)])
                    base_ += "\x1f" + field;
        }
    }

    std::string build() {
        patientUrl_ = urlFor("Patient");
        Json patient = patientResource();
        Json practitioner = practitionerResource();
        if (!practitioner.empty()) {
            std::string url = urlFor("Practitioner");
            patient["generalPractitioner"] = Json::array({reference(url)});
            add(url, std::move(practitioner));
        }
        entries_.insert(entries_.begin(),
                        Json{{"fullUrl", patientUrl_}, {"resource", std::move(patient)}});
        addConditions();
        addGuarantor();
        for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot) addCoverage(slot);
        Json bundle{{"resourceType", "Bundle"}, {"type", "collection"}, {"entry", entries_}};
        return bundle.dump(2);
    }

private:
    std::string get(F field) const { return clean(record_[field]); }
    std::string get(int slot, I field) const { return clean(record_.insured(slot, field)); }
    std::string urlFor(const std::string& local) const {
        return "urn:uuid:" + nameUuid(kBundleNamespace, base_ + "|" + local);
    }
    void add(const std::string& url, Json resource) {
        entries_.push_back(Json{{"fullUrl", url}, {"resource", std::move(resource)}});
    }

    Json patientResource() const {
        Json patient{{"resourceType", "Patient"}};
        Json identifiers = Json::array();
        append(identifiers, typedIdentifier("MR", account_, accountSystem_));
        append(identifiers, identifier(alternateSystem_, get(F::p1PatientAltID)));
        append(identifiers, typedIdentifier("SS", get(F::p1PatientSSN), kSsnSystem));
        put(patient, "identifier", std::move(identifiers));
        Json name = personName(record_[F::p1PatientLastName], record_[F::p1PatientFirstName],
                               record_[F::p1PatientMiddleInitial]);
        if (!name.empty()) {
            Json official{{"use", "official"}};
            official.update(name);
            patient["name"] = Json::array({std::move(official)});
        }
        Json telecoms = Json::array();
        append(telecoms, telecom("phone", get(F::p1PatientHomePhone), "home"));
        append(telecoms, telecom("phone", get(F::p1PatientWorkPhone), "work"));
        append(telecoms, telecom("email", get(F::p1PatientHomeEmail), "home"));
        put(patient, "telecom", std::move(telecoms));
        put(patient, "gender", fhirGender(record_[F::p1PatientGender]));
        put(patient, "birthDate", fhirDate(record_[F::p1PatientDOB]));
        Json home = address(record_[F::p1PatientAddress1], record_[F::p1PatientAddress2],
                            record_[F::p1PatientCity], record_[F::p1PatientState],
                            record_[F::p1PatientPostal], "home");
        if (!home.empty()) patient["address"] = Json::array({std::move(home)});
        return patient;
    }

    Json practitionerResource() const {
        Json identifiers = Json::array();
        std::string npi = get(F::p2PhysicianNPI), upin = get(F::p2PhysicianUPIN);
        append(identifiers, npiIdentifier(npi));
        append(identifiers, typedIdentifier("UPIN", upin));
        // An answer that carries one number in several fields (HL7's PV1-7 names the UPIN
        // where the license number is read) does not make it a license.
        if (std::string license = get(F::p2PhysicianLicenseNumber);
            license != upin && license != npi)
            append(identifiers, typedIdentifier("LN", license));
        Json name = nameFromText(record_[F::p2UsualProvider]);
        if (identifiers.empty() && name.empty()) return {};
        Json practitioner{{"resourceType", "Practitioner"}};
        put(practitioner, "identifier", std::move(identifiers));
        if (!name.empty()) practitioner["name"] = Json::array({std::move(name)});
        return practitioner;
    }

    void addConditions() {
        for (int n = 1; n <= kDiagnosisSlots; ++n) {
            Diagnosis d = diagnosis(record_[PatientRecord::diagnosisCodeField(n)],
                                    record_[PatientRecord::diagnosisDescriptionField(n)]);
            if (d.code.empty() && d.display.empty()) continue;
            Json code = Json::object();
            if (!d.code.empty())
                code["coding"] = Json::array({coding(d.system, d.code, d.display)});
            put(code, "text", d.display);
            add(urlFor("Condition/" + std::to_string(n)),
                Json{{"resourceType", "Condition"},
                     {"code", std::move(code)},
                     {"subject", reference(patientUrl_)}});
        }
    }

    void addGuarantor() {
        Json person{{"resourceType", "RelatedPerson"}};
        Json identifiers = Json::array();
        append(identifiers, identifier(kSsnSystem, get(F::g1GuarantorSSN)));
        put(person, "identifier", std::move(identifiers));
        person["patient"] = reference(patientUrl_);
        person["relationship"] =
            Json::array({relationshipConcept(Json::array({coding(kRoleCode, "GT", "Guarantor"),
                                                          coding(kRoleClass, "GUAR", "guarantor")}),
                                             "guarantor")});
        size_t fixed = person.size();
        Json name = personName(record_[F::g1GuarantorLastName], record_[F::g1GuarantorFirstName],
                               record_[F::g1GuarantorMiddleInitial]);
        if (!name.empty()) person["name"] = Json::array({std::move(name)});
        Json telecoms = Json::array();
        append(telecoms, telecom("phone", get(F::g1GuarantorHomePhone), "home"));
        append(telecoms, telecom("phone", get(F::g1GuarantorWorkPhone), "work"));
        put(person, "telecom", std::move(telecoms));
        put(person, "gender", fhirGender(record_[F::g1GuarantorGender]));
        put(person, "birthDate", fhirDate(record_[F::g1GuarantorDOB]));
        Json home = address(record_[F::g1GuarantorAddress1], record_[F::g1GuarantorAddress2],
                            record_[F::g1GuarantorCity], record_[F::g1GuarantorState],
                            record_[F::g1GuarantorPostal], "home");
        if (!home.empty()) person["address"] = Json::array({std::move(home)});
        bool identified = person.contains("identifier");
        if (person.size() > fixed || identified) add(urlFor("RelatedPerson/guarantor"), person);
    }

    // An Organization entry for a company or employer; its reference, or a null Json when
    // nothing names it. An Organization is known by a name (org-1): the alternate name
    // stands in for a missing one, and an address alone names nobody.
    Json organization(const std::string& local, const std::string& name, const std::string& alias,
                      Json where) {
        if (name.empty() && alias.empty()) return {};
        Json org{{"resourceType", "Organization"}};
        org["name"] = name.empty() ? alias : name;
        if (!alias.empty() && alias != org["name"]) org["alias"] = Json::array({alias});
        if (!where.empty()) org["address"] = Json::array({std::move(where)});
        std::string url = urlFor(local);
        add(url, std::move(org));
        return reference(url);
    }

    void addCoverage(int slot) {
        const PatientRecord::InsuranceSlot& fields = record_.insurance[static_cast<size_t>(slot)];
        bool inUse = false;
        for (const std::string& field : fields) inUse = inUse || meaningful(field);
        if (!inUse) return;
        std::string order = std::to_string(slot + 1);

        Json payor = organization("Organization/payor/" + order, get(slot, I::InsuredCompanyName),
                                  get(slot, I::InsuredAlternateCompanyName),
                                  address(record_.insured(slot, I::InsuredCompanyAddress),
                                          record_.insured(slot, I::InsuredCompanyAddress2),
                                          record_.insured(slot, I::InsuredCompanyCity),
                                          record_.insured(slot, I::InsuredCompanyState),
                                          record_.insured(slot, I::InsuredCompanyPostal)));
        Json employer =
            organization("Organization/employer/" + order, get(slot, I::InsuredEmployer), "",
                         address(record_.insured(slot, I::InsuredEmployerAddress1),
                                 record_.insured(slot, I::InsuredEmployerAddress2),
                                 record_.insured(slot, I::InsuredEmployerCity),
                                 record_.insured(slot, I::InsuredEmployerState),
                                 record_.insured(slot, I::InsuredEmployerPostal)));

        std::string relationship = subscriberRelationship(fields[1]);
        std::string vendorRelationship = get(slot, I::InsuredRelationship);
        Json subscriber;
        if (relationship == "self") {
            subscriber = reference(patientUrl_);
        } else if (Json name = nameFromText(record_.insured(slot, I::InsuredName)); !name.empty()) {
            std::string url = urlFor("RelatedPerson/subscriber/" + order);
            Json relationships = Json::array();
            if (std::string role = personalRelationship(relationship); !role.empty())
                relationships.push_back(relationshipConcept(
                    Json::array({coding(kRoleCode, role, relationship)}), relationship));
            relationships.push_back(relationshipConcept(
                Json::array({coding(kRoleCode, "SUBSCR", "subscriber")}), "subscriber"));
            Json person{{"resourceType", "RelatedPerson"},
                        {"patient", reference(patientUrl_)},
                        {"relationship", std::move(relationships)},
                        {"name", Json::array({std::move(name)})}};
            add(url, std::move(person));
            subscriber = reference(url);
        }

        Json coverage{{"resourceType", "Coverage"}, {"status", "active"}};
        if (std::string claimType = get(slot, I::InsuredClaimType); !claimType.empty())
            coverage["type"] = Json{{"text", claimType}};
        if (!employer.empty()) coverage["policyHolder"] = std::move(employer);
        if (!subscriber.empty()) coverage["subscriber"] = std::move(subscriber);
        put(coverage, "subscriberId", get(slot, I::InsuredPolicyNumber));
        coverage["beneficiary"] = reference(patientUrl_);
        if (!relationship.empty()) {
            coverage["relationship"] =
                Json{{"coding", Json::array({coding(kSubscriberRelationship, relationship)})},
                     {"text", vendorRelationship}};
        } else if (!vendorRelationship.empty()) {
            coverage["relationship"] = Json{{"text", vendorRelationship}};
        }
        // A payor the answer does not name is still required: it is shown as unknown.
        coverage["payor"] =
            Json::array({payor.empty() ? Json{{"display", "unknown"}} : std::move(payor)});
        Json classes = Json::array();
        if (std::string group = get(slot, I::InsuredGroupNumber); !group.empty())
            classes.push_back(
                Json{{"type", {{"coding", Json::array({coding(kCoverageClass, "group")})}}},
                     {"value", group}});
        if (std::string billCode = get(slot, I::InsuredBillCode); !billCode.empty())
            classes.push_back(Json{{"type", {{"text", "bill code"}}}, {"value", billCode}});
        put(coverage, "class", std::move(classes));
        coverage["order"] = slot + 1;
        add(urlFor("Coverage/" + order), std::move(coverage));
    }

    const PatientRecord& record_;
    std::string accountSystem_, alternateSystem_, account_, base_, patientUrl_;
    Json entries_ = Json::array();
};

bool isDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

int number(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

}  // namespace

std::string fhirGender(std::string_view vendor) {
    std::string code = text::upper(clean(vendor));
    if (code.empty()) return {};
    if (code == "M" || code == "MALE") return "male";
    if (code == "F" || code == "FEMALE") return "female";
    if (code == "O" || code == "OTHER") return "other";
    return "unknown";
}

std::string fhirDate(std::string_view vendor) {
    std::string date = clean(vendor);
    std::string_view year, month, day;
    if (date.size() == 8 && isDigits(date)) {
        year = std::string_view(date).substr(0, 4);
        month = std::string_view(date).substr(4, 2);
        day = std::string_view(date).substr(6, 2);
    } else {
        size_t first = date.find('/'), second = date.find('/', first + 1);
        if (first == std::string::npos || second == std::string::npos) return {};
        month = std::string_view(date).substr(0, first);
        day = std::string_view(date).substr(first + 1, second - first - 1);
        year = std::string_view(date).substr(second + 1);
        if (month.size() > 2 || day.size() > 2 || year.size() != 4) return {};
        if (!isDigits(month) || !isDigits(day) || !isDigits(year)) return {};
    }
    int y = number(year), m = number(month), d = number(day);
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return {};
    auto two = [](int v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
    return std::string(year) + "-" + two(m) + "-" + two(d);
}

std::string toFhirBundle(const PatientRecord& record, const FhirOptions& options) {
    bool someone = false;
    for (const std::string& field : record.fields) someone = someone || meaningful(field);
    for (const PatientRecord::InsuranceSlot& slot : record.insurance)
        for (const std::string& field : slot) someone = someone || meaningful(field);
    if (!someone) return {};
    return BundleBuilder(record, options).build();
}

std::string toFhirOperationOutcome(std::string_view issueCode, std::string_view kind,
                                   std::string_view reason) {
    Json issue{{"severity", "error"}, {"code", issueCode}};
    if (std::string words = clean(kind); !words.empty()) issue["details"] = Json{{"text", words}};
    put(issue, "diagnostics", clean(reason));
    Json outcome{{"resourceType", "OperationOutcome"}, {"issue", Json::array({std::move(issue)})}};
    return outcome.dump(2);
}

std::string identifierSystemProblem(std::string_view system) {
    std::string quoted = "\"" + shown(system) + "\"";
    if (system.empty()) return "the identifier system is empty";
    if (system.size() > 1024) return quoted + " is longer than 1024 characters";
    for (unsigned char c : system) {
        if (c > 0x7E) return quoted + " is not ASCII (write other characters %-encoded)";
        if (c <= 0x20 ||
            std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos)
            return quoted + " holds a character a URI cannot hold";
    }
    size_t colon = system.find(':');
    bool scheme = colon != std::string_view::npos && colon > 0 && isAlpha(system[0]);
    for (size_t i = 1; scheme && i < colon; ++i)
        scheme = isAlpha(system[i]) || isDigit(system[i]) ||
                 std::string_view("+-.").find(system[i]) != std::string_view::npos;
    if (!scheme || colon + 1 == system.size())
        return quoted + " is not an absolute URI (scheme:..., as urn:oid:1.2.3 or https://...)";
    std::string lowered = text::lower(system);
    if (lowered.starts_with("urn:oid:") && !isOid(system.substr(8)))
        return quoted + " is not an OID (urn:oid: and numbers joined by dots, as 2.16.840.1)";
    if (lowered.starts_with("urn:uuid:") && !isUuid(system.substr(9)))
        return quoted + " is not a UUID in lower case";
    return {};
}

AccountSystem accountSystem(std::string_view given) {
    AccountSystem out{std::string(given), {}};
    std::string source;
    if (given.empty()) {
        const char* configured = std::getenv(kAccountSystemVariable);
        if (!configured || !*configured) return {std::string(kDefaultAccountSystem), {}};
        out.system = configured;
        source = std::string(kAccountSystemVariable) + ": ";
    }
    if (std::string problem = identifierSystemProblem(out.system); !problem.empty())
        out.problem = source + problem;
    return out;
}

}  // namespace trellybridge::formats
