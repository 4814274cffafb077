// A published patient record as the FHIR R4 Bundle of `--output fhir` and patientAsFhir.
#pragma once

#include <string>
#include <string_view>

#include "common/PatientRecord.h"

namespace trellybridge {

// The Bundle of what a host would read from the properties after `record` is published
// (the unpublished insurance slot is left out); an answer without the account number is
// named by `requestedPatientId`. Empty when `identifierSystem` is refused or the record
// cannot be written.
std::string publishedRecordAsFhir(const PatientRecord& record, std::string_view requestedPatientId,
                                  std::string_view identifierSystem);

}  // namespace trellybridge
