#include "formats/Fhir.h"

#include <nlohmann/json.hpp>
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

Json typedIdentifier(const char* typeCode, const std::string& value) {
    if (value.empty()) return {};
    return Json{{"type", {{"coding", Json::array({coding(kIdentifierTypes, typeCode)})}}},
                {"value", value}};
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

bool validUri(std::string_view uri) {
    if (uri.empty()) return false;
    for (char c : uri)
        if (isBlankChar(c) || static_cast<unsigned char>(c) < 0x21 ||
            static_cast<unsigned char>(c) > 0x7E)
            return false;
    return true;
}

class BundleBuilder {
public:
    BundleBuilder(const PatientRecord& record, const FhirOptions& options) : record_(record) {
        accountSystem_ =
            validUri(options.identifierSystem) ? options.identifierSystem : kDefaultAccountSystem;
        alternateSystem_ = validUri(options.alternateIdentifierSystem)
                               ? options.alternateIdentifierSystem
                               : std::string(kDefaultAlternateIdSystem);
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
        append(identifiers, identifier(accountSystem_, account_));
        append(identifiers, identifier(alternateSystem_, get(F::p1PatientAltID)));
        append(identifiers, identifier(kSsnSystem, get(F::p1PatientSSN)));
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
        append(identifiers, identifier(kNpiSystem, get(F::p2PhysicianNPI)));
        append(identifiers, typedIdentifier("UPIN", get(F::p2PhysicianUPIN)));
        append(identifiers, typedIdentifier("LN", get(F::p2PhysicianLicenseNumber)));
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
            Json::array({Json{{"coding", Json::array({coding(kRoleClass, "GUAR", "guarantor")})},
                              {"text", "guarantor"}}});
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
    // nothing names it.
    Json organization(const std::string& local, const std::string& name, const std::string& alias,
                      Json where) {
        if (name.empty() && alias.empty() && where.empty()) return {};
        Json org{{"resourceType", "Organization"}};
        put(org, "name", name);
        if (!alias.empty() && alias != name) org["alias"] = Json::array({alias});
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
            Json person{{"resourceType", "RelatedPerson"},
                        {"patient", reference(patientUrl_)},
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
    return BundleBuilder(record, options).build();
}

}  // namespace trellybridge::formats
