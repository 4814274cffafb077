#include "component/RecordPublishing.h"

namespace trellybridge {

static_assert(kRecordPropertyCount ==
              kRecordFieldCount + kPublishedInsuranceSlots * kInsuranceFieldCount);

ResultProperty insuredProperty(int slot, InsuranceField field) {
    return static_cast<ResultProperty>(kRecordFieldCount + slot * kInsuranceFieldCount +
                                       static_cast<int>(field));
}

void publishRecord(TrellyBridgeComm& comm, const PatientRecord& record) {
    // Written into the text the properties already hold, so a host that asks again and
    // again does not pay for fresh storage each time.
    for (int i = 0; i < kRecordFieldCount; ++i)
        comm.setPropertyText(static_cast<ResultProperty>(i), record.fields[static_cast<size_t>(i)]);
    for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot)
        for (int f = 0; f < kInsuranceFieldCount; ++f) {
            auto field = static_cast<InsuranceField>(f);
            comm.setPropertyText(insuredProperty(slot, field), record.insured(slot, field));
        }
}

}  // namespace trellybridge
