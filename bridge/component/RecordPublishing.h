// The patient record as the result properties of one instance show it.
#pragma once

#include "common/PatientRecord.h"
#include "common/RequestState.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {

// The property that publishes a field of insurance slot 0, 1 or 2 (i1, i2, i3).
ResultProperty insuredProperty(int slot, InsuranceField field);

// Copies the record (patient, physician, diagnoses, guarantor and the published insurance
// slots) into the properties of `comm`.
void publishRecord(TrellyBridgeComm& comm, const PatientRecord& record);

// Writes a line to the insurance log for each published insurance slot of the found record,
// when LogInsuranceEntries asks for a log; false when it does not (nor are errors then
// published with the record).
bool logInsuranceEntries(RequestState& state);

}  // namespace trellybridge
