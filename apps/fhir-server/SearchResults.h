// The patients a GetPatientData search listed: each <Patient> element of its <Result>, read
// as the element names and values it holds (PatientID, LastName, BirthDate, Social, ...),
// and made into a FHIR Patient by the component's own FHIR mapping, so that a patient
// found by name reads as the same patient found by account number.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace trellybridge::fhirserver {

using ListedPatient = std::map<std::string, std::string>;  // element name -> value

// At most `limit` of the patients listed, in order (element names as sent, values with
// the five XML entities replaced); `listed` gets how many there were.
std::vector<ListedPatient> listedPatients(std::string_view result, std::size_t limit,
                                          std::size_t& listed);

// The listed patient as the component's FHIR Bundle of it (see Bundles.h), its account
// number in `accountSystem`; empty text when it holds nothing a Patient shows.
std::string patientBundle(const ListedPatient& patient, const std::string& accountSystem);

}  // namespace trellybridge::fhirserver
