// The fetched patient as a FHIR R4 Bundle (type "collection"): the Patient, the usual
// provider as a Practitioner, a Condition per diagnosis, the guarantor and each subscriber
// as a RelatedPerson, and a Coverage per insurance with its payor (and employer) as an
// Organization. Empty values are left out; every reference points to an entry of the
// Bundle by a urn:uuid full URL made from the record, so the same record gives the same
// Bundle. A fetch that found nobody is an OperationOutcome instead.
#pragma once

#include <string>
#include <string_view>

#include "common/PatientRecord.h"

namespace trellybridge::formats {

inline constexpr std::string_view kDefaultAccountSystem = "urn:trellybridge:account";
inline constexpr std::string_view kDefaultAlternateIdSystem = "urn:trellybridge:alternate-id";
// Where a site names the account number's system for every host on the machine.
inline constexpr const char* kAccountSystemVariable = "TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM";

// Why `system` cannot be an identifier's system (an absolute URI in printable ASCII; an
// OID or UUID in its urn: form), or empty text when it can.
std::string identifierSystemProblem(std::string_view system);

// The account number's system: `given` when not empty, else kAccountSystemVariable when
// set, else the default; `problem` says why it is refused (naming the variable when the
// system came from there).
struct AccountSystem {
    std::string system;
    std::string problem;
};
AccountSystem accountSystem(std::string_view given);

struct FhirOptions {
    // The system of the account number identifier; one that identifierSystemProblem
    // refuses throws std::invalid_argument.
    std::string identifierSystem{kDefaultAccountSystem};
    std::string alternateIdentifierSystem{kDefaultAlternateIdSystem};
    // The PatientID asked for: the account number when the answer carried none.
    std::string requestedPatientId;
};

// The Bundle as JSON text (UTF-8, indented by two spaces); empty text when no field of the
// record holds a value, since an empty record is nobody found.
std::string toFhirBundle(const PatientRecord& record, const FhirOptions& options = {});

// Why no patient came back, as an OperationOutcome (JSON text, UTF-8) with one issue of
// severity error: `issueCode` from the issue-type code system, the failure's kind in
// words as its details, and the reason as its diagnostics (Windows-1252 like the record).
std::string toFhirOperationOutcome(std::string_view issueCode, std::string_view kind,
                                   std::string_view reason);

// The pieces of the mapping that carry a rule of their own.
// M, F, O, U (or the words) in any case; anything else that is not empty is "unknown";
// empty gives empty.
std::string fhirGender(std::string_view vendor);
// YYYY-MM-DD from YYYYMMDD or M/D/YYYY; empty when the text is no valid date.
std::string fhirDate(std::string_view vendor);

}  // namespace trellybridge::formats
