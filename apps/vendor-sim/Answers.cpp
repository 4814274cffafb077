#include "Answers.h"

#include <algorithm>
#include <cctype>

#include "common/BridgeConfiguration.h"

namespace trellybridge::vendorsim {
namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// "LAST,FIRST M" as its three parts.
struct Name {
    std::string last, first, middle;
};
Name splitName(const std::string& full) {
    Name name;
    size_t comma = full.find(',');
    name.last = full.substr(0, comma);
    if (comma == std::string::npos) return name;
    std::string rest = full.substr(comma + 1);
    size_t blank = rest.find(' ');
    name.first = rest.substr(0, blank);
    if (blank != std::string::npos) name.middle = rest.substr(blank + 1);
    return name;
}

std::string hl7(const SamplePatient& p) {
    auto f = [&p](const char* name) { return p.field(name); };
    std::string out = "MSH|^~\\&|VENDORSIM|CLINIC|TRELLYBRIDGE|ORVEL|20261206120000||ADR^A19|" +
                      p.account + "|P|2.3\r";
    out += "PID|1|" + f("p1PatientUniqueID") + "|" + f("p1PatientUniqueID") + "|" +
           f("p1PatientAltID") + "|" + f("p1PatientLastName") + "^" + f("p1PatientFirstName") +
           "^" + f("p1PatientMiddleInitial") + "||" + f("p1PatientDOB") + "|" +
           f("p1PatientGender") + "|||" + f("p1PatientAddress1") + "^" + f("p1PatientAddress2") +
           "^" + f("p1PatientCity") + "^" + f("p1PatientState") + "^" + f("p1PatientPostal") +
           "||" + f("p1PatientHomePhone") + "^PRN^PH^" + f("p1PatientHomeEmail") + "|" +
           f("p1PatientWorkPhone") + "|||||" + f("p1PatientSSN") + "\r";
    Name doctor = splitName(f("p2UsualProvider"));
    std::string doctorName = doctor.last + "^" + doctor.first + "^" + doctor.middle;
    out += "PV1|1|O|||||" + f("p2PhysicianUPIN") + "^" + doctorName + "^^^^^^^^^UPIN~" +
           f("p2PhysicianNPI") + "^" + doctorName + "^^^^^^^^^NPI\r";
    for (int n = 1; n <= 12; ++n) {
        std::string code = f(("p2ICD9Code" + std::to_string(n)).c_str());
        if (code.empty()) continue;
        out += "DG1|" + std::to_string(n) + "|I9|" + code + "|" +
               f(("p2ICD9Description" + std::to_string(n)).c_str()) + "\r";
    }
    out += "GT1|1||" + f("g1GuarantorLastName") + "^" + f("g1GuarantorFirstName") + "^" +
           f("g1GuarantorMiddleInitial") + "||" + f("g1GuarantorAddress1") + "^" +
           f("g1GuarantorAddress2") + "^" + f("g1GuarantorCity") + "^" + f("g1GuarantorState") +
           "^" + f("g1GuarantorPostal") + "|" + f("g1GuarantorHomePhone") + "|" +
           f("g1GuarantorWorkPhone") + "|" + f("g1GuarantorDOB") + "|" + f("g1GuarantorGender") +
           "|||" + f("g1GuarantorSSN") + "\r";
    for (int n = 1; n <= 3; ++n) {
        std::string prefix = "i" + std::to_string(n);
        auto i = [&](const char* field) { return p.field(prefix + field); };
        if (i("InsuredCompanyName").empty()) continue;
        std::vector<std::string> in1(48);
        in1[0] = "IN1";
        in1[1] = std::to_string(n);
        in1[4] = i("InsuredCompanyName");
        in1[5] = i("InsuredCompanyAddress") + "^" + i("InsuredCompanyAddress2") + "^" +
                 i("InsuredCompanyCity") + "^" + i("InsuredCompanyState") + "^" +
                 i("InsuredCompanyPostal");
        in1[8] = i("InsuredGroupNumber");
        in1[15] = i("InsuredClaimType");
        Name insured = splitName(i("InsuredName"));
        in1[16] = insured.last + "^" + insured.first + "^" + insured.middle;
        in1[17] = i("InsuredRelationship");
        in1[36] = i("InsuredPolicyNumber");
        in1[44] = i("InsuredEmployerAddress1") + "^" + i("InsuredEmployerAddress2") + "^" +
                  i("InsuredEmployerCity") + "^" + i("InsuredEmployerState") + "^" +
                  i("InsuredEmployerPostal");
        in1[47] = i("InsuredBillCode");
        std::string segment;
        for (size_t k = 0; k < in1.size(); ++k) segment += (k ? "|" : "") + in1[k];
        out += segment + "\r";
        out += "IN2|" + std::to_string(n) + "||^" + i("InsuredEmployer") + "\r";
    }
    return out;
}

std::string joined(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t k = 0; k < fields.size(); ++k) out += (k ? "|" : "") + fields[k];
    return out;
}

std::string standard(const SamplePatient& p) {
    auto f = [&p](const std::string& name) { return p.field(name); };
    std::string out = "H|1\r\n";
    out += joined({"P1", f("p1PatientLastName"), f("p1PatientFirstName"),
                   f("p1PatientMiddleInitial"), f("p1PatientUniqueID"), f("p1PatientSSN"),
                   f("p1PatientAddress1"), f("p1PatientAddress2"), f("p1PatientCity"),
                   f("p1PatientState"), f("p1PatientPostal"), f("p1PatientHomePhone"),
                   f("p1PatientWorkPhone"), f("p1PatientDOB"), f("p1PatientGender"),
                   f("p1PatientAltID"), f("p1PatientHomeEmail")}) +
           "\r\n";
    std::vector<std::string> p2 = {"P2", f("p2UsualProvider"), f("p2PhysicianUPIN"),
                                   f("p2PhysicianLicenseNumber")};
    for (int n = 1; n <= 12; ++n) {
        p2.push_back(f("p2ICD9Description" + std::to_string(n)));
        p2.push_back(f("p2ICD9Code" + std::to_string(n)));
    }
    p2.push_back(f("p2PhysicianNPI"));
    out += joined(p2) + "\r\n";
    out += joined({"G1", f("g1GuarantorLastName"), f("g1GuarantorFirstName"),
                   f("g1GuarantorMiddleInitial"), f("g1GuarantorAddress1"),
                   f("g1GuarantorAddress2"), f("g1GuarantorCity"), f("g1GuarantorState"),
                   f("g1GuarantorPostal"), f("g1GuarantorHomePhone"), f("g1GuarantorWorkPhone")}) +
           "\r\n";
    for (int n = 1; n <= 3; ++n) {
        std::string i = "i" + std::to_string(n);
        if (f(i + "InsuredCompanyName").empty()) continue;
        out += joined({"I" + std::to_string(n), f(i + "InsuredName"), f(i + "InsuredRelationship"),
                       f(i + "InsuredPolicyNumber"), f(i + "InsuredGroupNumber"),
                       f(i + "InsuredCompanyName"), f(i + "InsuredClaimType"),
                       f(i + "InsuredEmployer"), f(i + "InsuredEmployerAddress1"),
                       f(i + "InsuredEmployerAddress2"), f(i + "InsuredEmployerCity"),
                       f(i + "InsuredEmployerState"), f(i + "InsuredEmployerPostal"),
                       f(i + "InsuredCompanyAddress"), f(i + "InsuredCompanyCity"),
                       f(i + "InsuredCompanyState"), f(i + "InsuredCompanyPostal"),
                       f(i + "InsuredBillCode")}) +
               "\r\n";
    }
    return out;
}

std::string scan(const SamplePatient& p) {
    static const std::pair<const char*, const char*> kTags[] = {
        {"P_ACT", "p1PatientUniqueID"},
        {"P_LNM", "p1PatientLastName"},
        {"P_FNM", "p1PatientFirstName"},
        {"P_MID", "p1PatientMiddleInitial"},
        {"P_ADR", "p1PatientAddress1"},
        {"P_CIT", "p1PatientCity"},
        {"P_STA", "p1PatientState"},
        {"P_ZIP", "p1PatientPostal"},
        {"P_REL", "i1InsuredRelationship"},
        {"P_SEX", "p1PatientGender"},
        {"P_DOB", "p1PatientDOB"},
        {"P_SSN", "p1PatientSSN"},
        {"P_PHN", "p1PatientHomePhone"},
        {"P_DIA", "p2ICD9Code1"},
        {"P_NPI", "p2PhysicianNPI"},
        {"G_LNM", "g1GuarantorLastName"},
        {"G_FNM", "g1GuarantorFirstName"},
        {"G_MID", "g1GuarantorMiddleInitial"},
        {"G_ADR", "g1GuarantorAddress1"},
        {"G_CIT", "g1GuarantorCity"},
        {"G_STA", "g1GuarantorState"},
        {"G_ZIP", "g1GuarantorPostal"},
        {"G_PHN", "g1GuarantorHomePhone"},
        {"I_EMP", "i1InsuredEmployer"},
        {"I_INS", "i1InsuredCompanyName"},
        {"I_IID", "i1InsuredPolicyNumber"},
        {"I_GRP", "i1InsuredGroupNumber"},
        {"I_NAM", "i1InsuredName"},
        {"I_ADR", "i1InsuredCompanyAddress"},
        {"I_CTY", "i1InsuredCompanyCity"},
        {"I_STA", "i1InsuredCompanyState"},
        {"I_ZIP", "i1InsuredCompanyPostal"},
        {"I_TYP", "i1InsuredClaimType"},
    };
    std::string out;
    for (const auto& [tag, field] : kTags) out += std::string(tag) + "=" + p.field(field) + "\r";
    return out;
}

std::string attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + value + "\"";
}

std::string address(const std::string& street1, const std::string& street2, const std::string& city,
                    const std::string& state, const std::string& postal) {
    return "<ADDRESS" + attribute("Street1", street1) + attribute("Street2", street2) +
           attribute("City", city) + attribute("State", state) + attribute("Postal", postal) + "/>";
}

std::string xml(const SamplePatient& p) {
    auto f = [&p](const std::string& name) { return p.field(name); };
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?><PATIENTS>";
    out += "<P1" + attribute("LastName", f("p1PatientLastName")) +
           attribute("FirstName", f("p1PatientFirstName")) +
           attribute("MiddleInitial", f("p1PatientMiddleInitial")) +
           attribute("UniqueID", f("p1PatientUniqueID")) + attribute("SSN", f("p1PatientSSN")) +
           attribute("HomePhone", f("p1PatientHomePhone")) +
           attribute("WorkPhone", f("p1PatientWorkPhone")) +
           attribute("HomeEmail", f("p1PatientHomeEmail")) + attribute("DOB", f("p1PatientDOB")) +
           attribute("Gender", f("p1PatientGender")) +
           attribute("AlternateID", f("p1PatientAltID")) + ">" +
           address(f("p1PatientAddress1"), f("p1PatientAddress2"), f("p1PatientCity"),
                   f("p1PatientState"), f("p1PatientPostal")) +
           "</P1>";
    out += "<P2" + attribute("UsualProvider", f("p2UsualProvider")) +
           attribute("UPIN", f("p2PhysicianUPIN")) + attribute("NPI", f("p2PhysicianNPI")) +
           attribute("LicenseNumber", f("p2PhysicianLicenseNumber")) + ">";
    for (int n = 1; n <= 12; ++n)
        if (!f("p2ICD9Code" + std::to_string(n)).empty())
            out += "<ICD9" + attribute("Code", f("p2ICD9Code" + std::to_string(n))) +
                   attribute("Description", f("p2ICD9Description" + std::to_string(n))) + "/>";
    out += "</P2>";
    out += "<G1" + attribute("LastName", f("g1GuarantorLastName")) +
           attribute("FirstName", f("g1GuarantorFirstName")) +
           attribute("MiddleInitial", f("g1GuarantorMiddleInitial")) +
           attribute("HomePhone", f("g1GuarantorHomePhone")) +
           attribute("WorkPhone", f("g1GuarantorWorkPhone")) + ">" +
           address(f("g1GuarantorAddress1"), f("g1GuarantorAddress2"), f("g1GuarantorCity"),
                   f("g1GuarantorState"), f("g1GuarantorPostal")) +
           "</G1>";
    for (int n = 1; n <= 3; ++n) {
        std::string i = "i" + std::to_string(n);
        if (f(i + "InsuredCompanyName").empty()) continue;
        out += "<I" + attribute("Name", f(i + "InsuredName")) +
               attribute("Relationship", f(i + "InsuredRelationship")) +
               attribute("PolicyNumber", f(i + "InsuredPolicyNumber")) +
               attribute("GroupNumber", f(i + "InsuredGroupNumber")) +
               attribute("ClaimType", f(i + "InsuredClaimType")) +
               attribute("BillCode", f(i + "InsuredBillCode")) + "><COMPANY" +
               attribute("Name", f(i + "InsuredCompanyName")) + ">" +
               address(f(i + "InsuredCompanyAddress"), f(i + "InsuredCompanyAddress2"),
                       f(i + "InsuredCompanyCity"), f(i + "InsuredCompanyState"),
                       f(i + "InsuredCompanyPostal")) +
               "</COMPANY><EMPLOYER" + attribute("Name", f(i + "InsuredEmployer")) + ">" +
               address(f(i + "InsuredEmployerAddress1"), f(i + "InsuredEmployerAddress2"),
                       f(i + "InsuredEmployerCity"), f(i + "InsuredEmployerState"),
                       f(i + "InsuredEmployerPostal")) +
               "</EMPLOYER></I>";
    }
    return out + "</PATIENTS>";
}

// What the simulated vendor writes in each format: a patient's answer, and the answer
// when it has no such patient.
struct Writer {
    Format format;
    std::string (*answer)(const SamplePatient& patient);
    std::string (*notFound)(std::string_view account);
};
// clang-format off
const Writer kWriters[] = {
    {Format::Hl7, hl7, [](std::string_view account) {
         // An accepting acknowledgement whose query found nothing, as HL7 engines answer.
         return "MSH|^~\\&|VENDORSIM|CLINIC|TRELLYBRIDGE|ORVEL|20261206120000||ADR^A19|1|P|"
                "2.3\rMSA|AA|1|PATIENT " + std::string(account) + " NOT FOUND\rQAK||NF\r"; }},
    {Format::Standard, standard, [](std::string_view account) {
         return "H|1\r\nE|PATIENT " + std::string(account) + " NOT FOUND\r\n"; }},
    {Format::Scan, scan, [](std::string_view account) {
         return "ERR=PATIENT " + std::string(account) + " NOT FOUND\r"; }},
    {Format::Xml, xml, [](std::string_view account) {
         return "<ERROR>PATIENT " + std::string(account) + " NOT FOUND</ERROR>"; }},
};
// clang-format on

const Writer* writerOf(Format format) {
    for (const Writer& writer : kWriters)
        if (writer.format == format) return &writer;
    return nullptr;
}
}  // namespace

bool parseFormat(std::string_view name, Format& format) {
    Format named = formatKindOf(upper(name));
    if (!writerOf(named)) return false;
    format = named;
    return true;
}

std::string formatName(Format format) {
    for (const FormatName& row : kFormatNames)
        if (row.kind == format) return std::string(row.name);
    return {};
}

std::string answerFor(Format format, const SamplePatient& patient) {
    const Writer* writer = writerOf(format);
    return writer ? writer->answer(patient) : std::string();
}

std::string notFoundAnswer(Format format, std::string_view account) {
    const Writer* writer = writerOf(format);
    return writer ? writer->notFound(account) : std::string();
}

std::string refusalAnswer(bool rejected) {
    std::string header =
        "MSH|^~\\&|VENDORSIM|CLINIC|TRELLYBRIDGE|ORVEL|20261206120000||ACK|1|P|2.3\r";
    if (rejected) return header + "MSA|AR|1|QUERY REJECTED: APPLICATION UNAVAILABLE\r";
    return header + "MSA|AE|1|UNKNOWN KEY IDENTIFIER\rERR|QRD^1^8^204&Unknown Key Identifier\r";
}

std::string requestedAccount(Format format, std::string_view request) {
    auto trimmed = [](std::string_view text) {
        size_t first = text.find_first_not_of(" \r\n\v\x1c~");
        if (first == std::string_view::npos) return std::string();
        size_t last = text.find_last_not_of(" \r\n\v\x1c~");
        return std::string(text.substr(first, last - first + 1));
    };
    if (format == Format::Hl7) {
        size_t qrd = request.find("QRD|");
        if (qrd != std::string_view::npos) {
            std::string_view segment = request.substr(qrd);
            size_t start = 0;
            for (int bars = 0; bars < 8 && start != std::string_view::npos; ++bars)
                start = segment.find('|', start + 1);
            if (start != std::string_view::npos) {
                std::string_view rest = segment.substr(start + 1);
                return trimmed(rest.substr(0, rest.find_first_of("|^")));
            }
        }
    }
    if (format == Format::Xml) {
        size_t id = request.find("id=\"");
        if (id != std::string_view::npos) {
            std::string_view rest = request.substr(id + 4);
            std::string account(rest.substr(0, rest.find('"')));
            size_t dash = account.find('-');
            return dash == std::string::npos ? account : account.substr(dash + 1);
        }
    }
    size_t acct = upper(request).find("ACCT=");
    std::string_view rest = acct == std::string::npos ? request : request.substr(acct + 5);
    return trimmed(rest.substr(0, rest.find_first_of(",\r\n")));
}

}  // namespace trellybridge::vendorsim
