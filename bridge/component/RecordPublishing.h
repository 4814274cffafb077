// The patient record as the result properties of one instance show it.
#pragma once

#include "common/PatientRecord.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {

// The property that publishes a field of insurance slot 0, 1 or 2 (i1, i2, i3).
ResultProperty insuredProperty(int slot, InsuranceField field);

// Copies the record (patient, physician, diagnoses, guarantor and the published insurance
// slots) into the properties of `comm`.
void publishRecord(TrellyBridgeComm& comm, const PatientRecord& record);

}  // namespace trellybridge
