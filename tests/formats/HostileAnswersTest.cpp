// Answers a broken or hostile vendor could send: one kind of element, repetition, record
// or character repeated hundreds of thousands of times, megabytes in all. Each must come
// out as the rules say (which of the many elements counts), and the parsers read such an
// answer once rather than once per element, so these run as fast as any other test.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <utility>
#include <vector>

#include "common/ThreadState.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using testing::dispatch;

using F = RecordField;
using I = InsuranceField;

std::string repeat(const std::string& part, int times) {
    std::string out;
    out.reserve(part.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i) out += part;
    return out;
}

// Numbered copies: make(1) + make(2) + ... + make(times).
std::string numbered(int times, const std::function<std::string(const std::string&)>& make) {
    std::string out;
    for (int i = 1; i <= times; ++i) out += make(std::to_string(i));
    return out;
}

std::string xml(const std::string& inside) {
    return "<?xml version=\"1.0\"?>\r\n<PATIENT>" + inside + "</PATIENT>\r\n";
}

struct Insured {
    int slot;
    I field;
    std::string value;
};

struct HostileCase {
    std::string name, format;
    std::function<std::string()> answer;
    std::vector<std::pair<F, std::string>> fields;
    std::vector<Insured> insured = {};
};

// Named in test listings by what it is, not by its bytes.
void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.format << " " << c.name;
}

const std::string kPatient = "<P1 LastName=\"DOE\" FirstName=\"JOHN\"/>";
const std::string kDoctor = "1234567^SMITH^JOHN^Q^^^^^^^^^UPIN";

const HostileCase kCases[] = {
    // XML: without any closing tag each empty P1 ends at its own "/>", and the last wins.
    {"EmptyPatientElementsBeforeThePatient",
     "XML",
     [] { return xml(repeat("<P1/>", 100000) + "<P1 LastName=\"DOE\" SSN=\"123-45-6789\"/>"); },
     {{F::p1PatientLastName, "DOE"}, {F::p1PatientSSN, "123456789"}}},
    // With a closing tag in the text, the first P1 runs from its opening to that tag: one
    // element, whose first LastName is the real patient's.
    {"EmptyPatientElementsBeforeAPatientWithItsClosingTag",
     "XML",
     [] {
         return xml(repeat("<P1/>", 100000) +
                    "<P1 LastName=\"DOE\"><ADDRESS City=\"SPRINGFIELD\"/></P1>");
     },
     {{F::p1PatientLastName, "DOE"}, {F::p1PatientCity, "SPRINGFIELD"}}},
    // The last ADDRESS of the patient wins, its empty attributes included.
    {"ManyAddressesInThePatient",
     "XML",
     [] {
         return xml("<P1 LastName=\"DOE\">" +
                    repeat("<ADDRESS City=\"X\" Street2=\"Y\"/>", 100000) +
                    "<ADDRESS Street1=\"1 MAIN ST\" City=\"SPRINGFIELD\" State=\"IL\"/></P1>");
     },
     {{F::p1PatientLastName, "DOE"},
      {F::p1PatientAddress1, "1 MAIN ST"},
      {F::p1PatientAddress2, ""},
      {F::p1PatientCity, "SPRINGFIELD"},
      {F::p1PatientState, "IL"}}},
    {"ManyGuarantors",
     "XML",
     [] {
         return xml(kPatient + repeat("<G1 LastName=\"X\" FirstName=\"Y\"/>", 100000) +
                    "<G1 LastName=\"ROE, RICHARD, R\" HomePhone=\"5551000\"/>");
     },
     {{F::g1GuarantorLastName, "ROE"},
      {F::g1GuarantorFirstName, "RICHARD"},
      {F::g1GuarantorMiddleInitial, "R"},
      {F::g1GuarantorHomePhone, "5551000"}}},
    {"ManyCompaniesInAnInsurance",
     "XML",
     [] {
         return xml(kPatient + "<I Name=\"DOE,JOHN\" PolicyNumber=\"POL1\">" +
                    repeat("<COMPANY Name=\"X\"/>", 100000) +
                    "<COMPANY Name=\"ACME\"/><EMPLOYER Name=\"WORKS\"/></I>");
     },
     {},
     {{0, I::InsuredName, "DOE,JOHN"},
      {0, I::InsuredPolicyNumber, "POL1"},
      {0, I::InsuredCompanyName, "ACME"},
      {0, I::InsuredEmployer, "WORKS"}}},
    // A closing tag after them: the first COMPANY runs to it and is the only one.
    {"ManyCompaniesBeforeOneWithItsClosingTag",
     "XML",
     [] {
         return xml(kPatient + "<I Name=\"DOE,JOHN\">" + repeat("<COMPANY Name=\"X\"/>", 100000) +
                    "<COMPANY Name=\"ACME\"><ADDRESS City=\"CHICAGO\"/></COMPANY></I>");
     },
     {},
     {{0, I::InsuredCompanyName, "X"}, {0, I::InsuredCompanyCity, "CHICAGO"}}},
    // Twelve diagnoses are read, and four insurances (three published); the rest is left out.
    {"ManyDiagnoses",
     "XML",
     [] {
         return xml(kPatient + "<P2 UPIN=\"UP1\">" +
                    numbered(100000,
                             [](const std::string& n) {
                                 return "<ICD9 Code=\"C" + n + "\" Description=\"D" + n + "\"/>";
                             }) +
                    "</P2>");
     },
     {{F::p2PhysicianUPIN, "UP1"},
      {F::p2ICD9Code1, "C1"},
      {F::p2ICD9Description1, "D1"},
      {F::p2ICD9Code12, "C12"},
      {F::p2ICD9Description12, "D12"}}},
    {"ManyInsurances",
     "XML",
     [] {
         return xml(kPatient + numbered(100000, [](const std::string& n) {
                        return "<I Name=\"N" + n + "\"/>";
                    }));
     },
     {},
     {{0, I::InsuredName, "N1"}, {1, I::InsuredName, "N2"}, {2, I::InsuredName, "N3"}}},
    {"SsnOfManyDashes",
     "XML",
     [] { return xml("<P1 LastName=\"DOE\" SSN=\"" + repeat("- ", 2500000) + "123456789\"/>"); },
     {{F::p1PatientLastName, "DOE"}, {F::p1PatientSSN, "123456789"}}},

    // HL7: every repetition of the attending doctor is looked at; a later one overwrites.
    {"ManyRepetitionsOfTheAttendingDoctor",
     "HL7",
     [] {
         return "MSH|^~\\&|PMS\rPID|1|12345||A77|DOE^JOHN^Q\rPV1|1|O|||||" + kDoctor +
                repeat("~X", 500000) + "~7654321^SMITH^JOHN^Q^^^^^^^^^NPI|\r";
     },
     {{F::p1PatientLastName, "DOE"},
      {F::p2PhysicianLicenseNumber, "1234567"},
      {F::p2PhysicianUPIN, "1234567"},
      {F::p2PhysicianNPI, "7654321"},
      {F::p2UsualProvider, "SMITH,JOHN Q"}}},
    {"RepetitionsThatAreNotDoctors",
     "HL7",
     [] {
         return "MSH|^~\\&|PMS\rPID|1|12345||A77|DOE^JOHN^Q\rPV1|1|O|||||" + kDoctor +
                repeat("~1^^^^^^^^^NPI", 100000) + "~9^^^^^^^^UPIN|\r";
     },
     {{F::p2PhysicianUPIN, "9"}, {F::p2PhysicianNPI, "1"}}},
    {"ManyDiagnosisSegments",
     "HL7",
     [] {
         return "MSH|^~\\&|PMS\rPID|1|12345||A77|DOE^JOHN^Q\r" +
                numbered(100000, [](const std::string& n) {
                    return "DG1|" + n + "|I10|C" + n + "|D" + n + "\r";
                });
     },
     {{F::p2ICD9Code1, "C1"},
      {F::p2ICD9Description1, "D1"},
      {F::p2ICD9Code12, "C12"},
      {F::p2ICD9Description12, "D12"}}},

    // STANDARD: the records are read one after another; the last P1 wins.
    {"SsnOfManyDashesInARecord",
     "STANDARD",
     [] { return "H|1\r\nP1|DOE|JOHN|Q|12345|" + repeat("- ", 2500000) + "123456789|\r\n"; },
     {{F::p1PatientLastName, "DOE"}, {F::p1PatientSSN, "123456789"}}},
    {"ManyPatientRecords",
     "STANDARD",
     [] {
         return "H|1\r\n" + numbered(100000, [](const std::string& n) {
                    return "P1|L" + n + "|F" + n + "|Q|12345|||||||||||A" + n + "\r\n";
                });
     },
     {{F::p1PatientLastName, "L100000"},
      {F::p1PatientFirstName, "F100000"},
      {F::p1PatientAltID, "A100000"}}},

    // SCAN: a later line with the same tag overwrites.
    {"ManyLines",
     "SCAN",
     [] {
         return numbered(200000, [](const std::string& n) { return "P_LNM=L" + n + "\r"; }) +
                "P_ACT=12345\r";
     },
     {{F::p1PatientLastName, "L200000"}, {F::p1PatientUniqueID, "12345"}}},
};

class HostileAnswers : public testing::TestEnvironment,
                       public ::testing::WithParamInterface<HostileCase> {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        threadState().config.PatientID = "12345";
        prepareToReadAnswers();
    }
};

TEST_P(HostileAnswers, ParseToWhatTheRulesGive) {
    const HostileCase& c = GetParam();
    threadState().config.VendorFormatType = c.format;
    EXPECT_TRUE(dispatch(c.answer()));
    EXPECT_TRUE(threadState().patientFound);
    for (const auto& [field, value] : c.fields)
        EXPECT_EQ(threadState().record[field], value) << static_cast<int>(field);
    for (const Insured& i : c.insured)
        EXPECT_EQ(threadState().record.insured(i.slot, i.field), i.value)
            << i.slot << " " << static_cast<int>(i.field);
}

INSTANTIATE_TEST_SUITE_P(Parsers, HostileAnswers, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return info.param.format + "_" + info.param.name;
                         });

}  // namespace
}  // namespace trellybridge
