// The XML answer: P1 (with ADDRESS), P2 (with ICD9), G1 (with ADDRESS), I elements (with
// COMPANY and EMPLOYER), or an ERROR element; found by searching the text.
#include <algorithm>
#include <array>
#include <vector>

#include "common/Keywords.h"
#include "common/Text.h"
#include "common/XmlHelpers.h"
#include "formats/Codecs.h"
#include "formats/RecordReader.h"
#include "platform/Toolkit.h"

namespace trellybridge::formats {
namespace {

using F = RecordField;
using I = InsuranceField;
using xml::getXMLAttribute;
using xml::getXMLElements;
using xml::Searchable;

constexpr long kInsuranceElements = 4;  // slots 0 to 3; only 0 to 2 are published

struct Address {
    std::string street1, street2, city, state, postal;
};

// Reads every ADDRESS inside `element` into `address`; an element without one leaves it.
void readAddresses(Searchable element, Address& address) {
    for (Searchable found : getXMLElements(element, "ADDRESS")) {
        address = {getXMLAttribute(found, "Street1"), getXMLAttribute(found, "Street2"),
                   getXMLAttribute(found, "City"), getXMLAttribute(found, "State"),
                   getXMLAttribute(found, "Postal")};
    }
}

// The parts of "LAST, FIRST, MIDDLE".
std::string splitLastName(const std::string& name) {
    size_t comma = name.find(',', 1);
    return comma == std::string::npos ? std::string() : name.substr(0, comma);
}
std::string splitFirstName(const std::string& name) {
    size_t comma = name.find(',', 1);
    if (comma == std::string::npos) return {};
    size_t second = name.find(',', comma + 2);
    if (second == std::string::npos) return {};
    return text::trimSpaces(name.substr(comma + 1, second - comma - 1));
}
std::string splitMiddleName(const std::string& name) {
    size_t comma = name.find(',', 1);
    if (comma == std::string::npos) return {};
    size_t second = name.find(',', comma + 2);
    if (second == std::string::npos) return {};
    return text::trimSpaces(name.substr(second + 1));
}

class XmlParse {
public:
    XmlParse(std::string_view answer, const RequestSettings& settings, PatientRecord& record,
             platform::Clock& clock)
        : document_(answer),
          answer_(document_.whole()),
          settings_(settings),
          record_(record),
          clock_(clock) {}
    ParseResult run();

private:
    std::string& rec(F f) { return record_[f]; }
    bool readPatient();
    void readPhysician();
    void readGuarantor();
    void readInsurances();

    // The answer is upper-cased once; every element found is searched through that copy.
    xml::Document document_;
    Searchable answer_;
    const RequestSettings& settings_;
    PatientRecord& record_;
    platform::Clock& clock_;
};

ParseResult XmlParse::run() {
    ParseResult result;
    result.found = true;
    if (std::vector<Searchable> errors = getXMLElements(answer_, "ERROR"); !errors.empty()) {
        // The vendor's refusal ends the exchange.
        result.messageBoxes.push_back(
            {std::string(errors.front().text), "Attention!", ui::Icon::Critical});
        result.found = false;
        result.disconnected = true;
        return result;
    }
    bool patient = readPatient();
    readPhysician();
    readGuarantor();
    readInsurances();
    result.finishedParsing = clock_.now();
    // A document without a P1 element is no patient; text without any element, no XML.
    if (!patient) result.found = false;
    if (!patient && answer_.text.find('<') == std::string_view::npos)
        result.problem = AnswerProblem{FailureKind::Unreadable,
                                       "could not be read as XML: it holds no element; check "
                                       "VendorFormatType"};
    result.read = true;
    return result;
}

bool XmlParse::readPatient() {
    std::vector<Searchable> patients = getXMLElements(answer_, "P1");
    std::array<std::string, 11> values;
    static constexpr std::array<const char*, 11> kNames = {
        "LastName",  "FirstName", "MiddleInitial", "UniqueID", "SSN",        "HomePhone",
        "WorkPhone", "HomeEmail", "DOB",           "Gender",   "AlternateID"};
    Address address;
    for (Searchable element : patients) {
        for (size_t i = 0; i < kNames.size(); ++i) values[i] = getXMLAttribute(element, kNames[i]);
        readAddresses(element, address);
    }
    if (patients.empty()) return false;
    rec(F::p1PatientLastName) = values[0];
    rec(F::p1PatientFirstName) = values[1];
    rec(F::p1PatientMiddleInitial) = values[2];
    rec(F::p1PatientUniqueID) = values[3];
    rec(F::p1PatientAltID) = values[10];
    rec(F::p1PatientSSN) = settings_.keywords.has(keyword::NoPatientSsn) ? "" : cleanSsn(values[4]);
    rec(F::p1PatientAddress1) = address.street1;
    rec(F::p1PatientAddress2) = address.street2;
    rec(F::p1PatientCity) = address.city;
    rec(F::p1PatientState) = address.state;
    rec(F::p1PatientPostal) = address.postal;
    rec(F::p1PatientHomePhone) = values[5];
    rec(F::p1PatientWorkPhone) = values[6];
    rec(F::p1PatientHomeEmail) = values[7];
    rec(F::p1PatientDOB) = values[8];
    rec(F::p1PatientGender) = values[9];
    return true;
}

void XmlParse::readPhysician() {
    std::string provider, upin, npi, license;
    std::array<std::string, kDiagnosisSlots + 1> codes, descriptions;
    if (std::vector<Searchable> physicians = getXMLElements(answer_, "P2"); !physicians.empty()) {
        Searchable element = physicians.front();
        provider = getXMLAttribute(element, "UsualProvider");
        upin = getXMLAttribute(element, "UPIN");
        npi = getXMLAttribute(element, "NPI");
        license = getXMLAttribute(element, "LicenseNumber");
        if (settings_.keywords.has(keyword::NoDoctor)) upin.clear(), npi.clear();
        // A thirteenth diagnosis has no place to go and is left out.
        std::vector<Searchable> diagnoses = getXMLElements(element, "ICD9");
        long count = std::min(static_cast<long>(diagnoses.size()), long{kDiagnosisSlots});
        for (long k = 1; k <= count; ++k) {
            Searchable diagnosis = diagnoses[static_cast<size_t>(k - 1)];
            codes[static_cast<size_t>(k)] = getXMLAttribute(diagnosis, "Code");
            descriptions[static_cast<size_t>(k)] = getXMLAttribute(diagnosis, "Description");
        }
    }
    rec(F::p2UsualProvider) = provider;
    rec(F::p2PhysicianUPIN) = upin;
    rec(F::p2PhysicianNPI) = npi;
    rec(F::p2PhysicianLicenseNumber) = license;
    for (int k = 1; k <= kDiagnosisSlots; ++k) {
        record_.diagnosisDescription(k) = descriptions[static_cast<size_t>(k)];
        record_.diagnosisCode(k) = codes[static_cast<size_t>(k)];
    }
}

void XmlParse::readGuarantor() {
    std::string last, first, middle, home, work;
    Address address;
    for (Searchable element : getXMLElements(answer_, "G1")) {
        last = getXMLAttribute(element, "LastName");
        first = getXMLAttribute(element, "FirstName");
        middle = getXMLAttribute(element, "MiddleInitial");
        home = getXMLAttribute(element, "HomePhone");
        work = getXMLAttribute(element, "WorkPhone");
        readAddresses(element, address);
        if (first.empty()) {
            std::string full = last;
            last = splitLastName(full);
            first = splitFirstName(full);
            middle = splitMiddleName(full);
        }
    }
    rec(F::g1GuarantorLastName) = last;
    rec(F::g1GuarantorFirstName) = first;
    rec(F::g1GuarantorMiddleInitial) = middle;
    rec(F::g1GuarantorAddress1) = address.street1;
    rec(F::g1GuarantorAddress2) = address.street2;
    rec(F::g1GuarantorCity) = address.city;
    rec(F::g1GuarantorState) = address.state;
    rec(F::g1GuarantorPostal) = address.postal;
    rec(F::g1GuarantorHomePhone) = home;
    rec(F::g1GuarantorWorkPhone) = work;
}

void XmlParse::readInsurances() {
    std::string companyName, employerName;
    Address company, employer;
    // A fifth insurance has no slot and is left out.
    std::vector<Searchable> insurances = getXMLElements(answer_, "I");
    long count = std::min(static_cast<long>(insurances.size()), kInsuranceElements);
    for (long n = 1; n <= count; ++n) {
        Searchable element = insurances[static_cast<size_t>(n - 1)];
        int slot = static_cast<int>(n - 1);
        auto set = [&](I field, std::string value) {
            record_.insured(slot, field) = std::move(value);
        };
        set(I::InsuredName, getXMLAttribute(element, "Name"));
        set(I::InsuredRelationship, getXMLAttribute(element, "Relationship"));
        set(I::InsuredPolicyNumber, getXMLAttribute(element, "PolicyNumber"));
        set(I::InsuredGroupNumber, getXMLAttribute(element, "GroupNumber"));
        set(I::InsuredClaimType, getXMLAttribute(element, "ClaimType"));
        set(I::InsuredBillCode, getXMLAttribute(element, "BillCode"));
        for (Searchable found : getXMLElements(element, "COMPANY")) {
            companyName = getXMLAttribute(found, "Name");
            readAddresses(found, company);
        }
        for (Searchable found : getXMLElements(element, "EMPLOYER")) {
            employerName = getXMLAttribute(found, "Name");
            readAddresses(found, employer);
        }
        set(I::InsuredCompanyName, companyName);
        set(I::InsuredCompanyAddress, company.street1);
        set(I::InsuredCompanyAddress2, company.street2);
        set(I::InsuredCompanyCity, company.city);
        set(I::InsuredCompanyState, company.state);
        set(I::InsuredCompanyPostal, company.postal);
        set(I::InsuredEmployer, employerName);
        set(I::InsuredEmployerAddress1, employer.street1);
        set(I::InsuredEmployerAddress2, employer.street2);
        set(I::InsuredEmployerCity, employer.city);
        set(I::InsuredEmployerState, employer.state);
        set(I::InsuredEmployerPostal, employer.postal);
    }
}

}  // namespace

ParseResult parseXMLStream(std::string_view answer, const BridgeConfiguration&,
                           ParseContext context) {
    return XmlParse(answer, context.settings, context.record, context.clock).run();
}

ParseResult readXmlAnswer(std::string_view answer, const BridgeConfiguration& config,
                          ParseContext& context) {
    ParseResult result =
        timed(context.clock, [&] { return parseXMLStream(answer, config, context); });
    return result.found.value_or(false) ? result : shownAndEnded(std::move(result));
}

}  // namespace trellybridge::formats
