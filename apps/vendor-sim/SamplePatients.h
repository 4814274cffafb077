// The patients the vendor simulator serves: a small built-in set, or a file of them.
//
// Patient file format: one section per patient, "[patient ACCOUNT]", followed by
// "property=value" lines that use the component's result property names
// (p1PatientLastName=DOE, i1InsuredCompanyName=ACME HEALTH, ...). '#' starts a comment.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace trellybridge::vendorsim {

struct SamplePatient {
    std::string account;
    std::map<std::string, std::string> fields;  // result property name -> value
    std::string field(const std::string& name) const;
};

std::vector<SamplePatient> builtInPatients();
// Reads a patient file; nullopt with `error` set when it cannot be read or is malformed.
std::optional<std::vector<SamplePatient>> readPatientFile(const std::string& path,
                                                          std::string& error);

}  // namespace trellybridge::vendorsim
