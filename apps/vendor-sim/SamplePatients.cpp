#include "SamplePatients.h"

#include <fstream>

#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::vendorsim {

std::string SamplePatient::field(const std::string& name) const {
    auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

std::vector<SamplePatient> builtInPatients() {
    return {
        {"12345",
         {{"p1PatientLastName", "DOE"},
          {"p1PatientFirstName", "JOHN"},
          {"p1PatientMiddleInitial", "Q"},
          {"p1PatientUniqueID", "12345"},
          {"p1PatientAltID", "A77"},
          {"p1PatientSSN", "123456789"},
          {"p1PatientAddress1", "1234 MAIN ST"},
          {"p1PatientAddress2", "APT 5B"},
          {"p1PatientCity", "SPRINGFIELD"},
          {"p1PatientState", "IL"},
          {"p1PatientPostal", "62704"},
          {"p1PatientHomePhone", "2175550142"},
          {"p1PatientWorkPhone", "2175550199"},
          {"p1PatientDOB", "19600101"},
          {"p1PatientGender", "M"},
          {"p2UsualProvider", "SMITH,JOHN Q"},
          {"p2PhysicianUPIN", "1234567"},
          {"p2PhysicianNPI", "7654321"},
          {"p2ICD9Code1", "250.00"},
          {"p2ICD9Description1", "DIABETES MELLITUS"},
          {"p2ICD9Code2", "401.9"},
          {"p2ICD9Description2", "HYPERTENSION"},
          {"g1GuarantorLastName", "DOE"},
          {"g1GuarantorFirstName", "JOHN"},
          {"g1GuarantorMiddleInitial", "Q"},
          {"g1GuarantorAddress1", "1234 MAIN ST"},
          {"g1GuarantorCity", "SPRINGFIELD"},
          {"g1GuarantorState", "IL"},
          {"g1GuarantorPostal", "62704"},
          {"g1GuarantorHomePhone", "2175550142"},
          {"i1InsuredName", "DOE,JOHN Q"},
          {"i1InsuredRelationship", "SE"},
          {"i1InsuredPolicyNumber", "XGH123456789"},
          {"i1InsuredGroupNumber", "100234"},
          {"i1InsuredCompanyName", "GREAT LAKES HEALTH"},
          {"i1InsuredCompanyAddress", "PO BOX 4500"},
          {"i1InsuredCompanyCity", "CHICAGO"},
          {"i1InsuredCompanyState", "IL"},
          {"i1InsuredCompanyPostal", "60601"},
          {"i1InsuredEmployer", "SPRINGFIELD ELECTRIC CO"},
          {"i2InsuredName", "DOE,JANE M"},
          {"i2InsuredRelationship", "SP"},
          {"i2InsuredPolicyNumber", "HMM55500123"},
          {"i2InsuredGroupNumber", "G77120"},
          {"i2InsuredCompanyName", "HEARTLAND MUTUAL"},
          {"i2InsuredCompanyCity", "DES MOINES"},
          {"i2InsuredCompanyState", "IA"},
          {"i2InsuredCompanyPostal", "50312"}}},
        {"20001",
         {{"p1PatientLastName", "RIVERA"},
          {"p1PatientFirstName", "ANA"},
          {"p1PatientMiddleInitial", "L"},
          {"p1PatientUniqueID", "20001"},
          {"p1PatientAddress1", "88 LAKE SHORE DR"},
          {"p1PatientCity", "CHICAGO"},
          {"p1PatientState", "IL"},
          {"p1PatientPostal", "60611"},
          {"p1PatientHomePhone", "3125550110"},
          {"p1PatientDOB", "19850712"},
          {"p1PatientGender", "F"},
          {"p2UsualProvider", "NGUYEN,LINH"},
          {"p2PhysicianNPI", "1112223334"},
          {"g1GuarantorLastName", "RIVERA"},
          {"g1GuarantorFirstName", "ANA"},
          {"g1GuarantorAddress1", "88 LAKE SHORE DR"},
          {"g1GuarantorCity", "CHICAGO"},
          {"g1GuarantorState", "IL"},
          {"g1GuarantorPostal", "60611"},
          {"i1InsuredName", "RIVERA,ANA L"},
          {"i1InsuredRelationship", "SE"},
          {"i1InsuredPolicyNumber", "BCX0042"},
          {"i1InsuredCompanyName", "PRAIRIE BLUE"},
          {"i1InsuredCompanyCity", "CHICAGO"},
          {"i1InsuredCompanyState", "IL"},
          {"i1InsuredCompanyPostal", "60601"}}},
        {"30002",
         {{"p1PatientLastName", "OKAFOR"},
          {"p1PatientFirstName", "EMEKA"},
          {"p1PatientUniqueID", "30002"},
          {"p1PatientAddress1", "5 RIVER RD"},
          {"p1PatientCity", "PEORIA"},
          {"p1PatientState", "IL"},
          {"p1PatientPostal", "61602"},
          {"p1PatientDOB", "19420203"},
          {"p1PatientGender", "M"},
          {"i1InsuredName", "OKAFOR,EMEKA"},
          {"i1InsuredRelationship", "SE"},
          {"i1InsuredPolicyNumber", "1EG4TE5MK73"},
          {"i1InsuredCompanyName", "STATE MEDICARE PART B"},
          {"i1InsuredCompanyCity", "INDIANAPOLIS"},
          {"i1InsuredCompanyState", "IN"},
          {"i1InsuredCompanyPostal", "46206"}}},
    };
}

std::optional<std::vector<SamplePatient>> readPatientFile(const std::string& path,
                                                          std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read patient file '" + path + "'";
        return std::nullopt;
    }
    std::vector<SamplePatient> patients;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        line = line.substr(first);
        std::string where = path + ":" + std::to_string(number) + ": ";
        if (line.rfind("[patient ", 0) == 0 && line.back() == ']') {
            patients.push_back({line.substr(9, line.size() - 10), {}});
            continue;
        }
        size_t equals = line.find('=');
        if (patients.empty() || equals == std::string::npos) {
            error = where + "expected [patient ACCOUNT] or property=value";
            return std::nullopt;
        }
        std::string name = line.substr(0, equals);
        if (!findProperty(name)) {
            error = where + "unknown property '" + name + "'";
            return std::nullopt;
        }
        patients.back().fields[std::string(propertyName(*findProperty(name)))] =
            line.substr(equals + 1);
    }
    return patients;
}

}  // namespace trellybridge::vendorsim
