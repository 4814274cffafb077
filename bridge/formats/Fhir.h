// The fetched patient as a FHIR R4 Bundle (type "collection"): the Patient, the usual
// provider as a Practitioner, a Condition per diagnosis, the guarantor as a
// RelatedPerson, and a Coverage per insurance with its payor (and employer) as an
// Organization. Empty values are left out; every reference points to an entry of the
// Bundle by a urn:uuid full URL made from the record, so the same record gives the same
// Bundle.
#pragma once

#include <string>
#include <string_view>

#include "common/PatientRecord.h"

namespace trellybridge::formats {

inline constexpr std::string_view kDefaultAccountSystem = "urn:trellybridge:account";
inline constexpr std::string_view kDefaultAlternateIdSystem = "urn:trellybridge:alternate-id";

struct FhirOptions {
    // The system of the account number identifier (a URI without blanks; anything else
    // falls back to the default).
    std::string identifierSystem{kDefaultAccountSystem};
    std::string alternateIdentifierSystem{kDefaultAlternateIdSystem};
    // The PatientID asked for: the account number when the answer carried none.
    std::string requestedPatientId;
};

// The Bundle as JSON text (UTF-8, indented by two spaces).
std::string toFhirBundle(const PatientRecord& record, const FhirOptions& options = {});

// The pieces of the mapping that carry a rule of their own.
// M, F, O, U (or the words) in any case; anything else that is not empty is "unknown";
// empty gives empty.
std::string fhirGender(std::string_view vendor);
// YYYY-MM-DD from YYYYMMDD or M/D/YYYY; empty when the text is no valid date.
std::string fhirDate(std::string_view vendor);

}  // namespace trellybridge::formats
