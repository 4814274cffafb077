#include "component/RecordPublishing.h"

namespace trellybridge {

static_assert(kRecordPropertyCount ==
              kRecordFieldCount + kPublishedInsuranceSlots * kInsuranceFieldCount);

ResultProperty insuredProperty(int slot, InsuranceField field) {
    return static_cast<ResultProperty>(kRecordFieldCount + slot * kInsuranceFieldCount +
                                       static_cast<int>(field));
}

namespace {

// The record's text that property `index` (below kRecordPropertyCount) publishes.
const std::string& publishedText(const PatientRecord& record, int index) {
    if (index < kRecordFieldCount) return record.fields[static_cast<size_t>(index)];
    int insured = index - kRecordFieldCount;
    return record.insured(insured / kInsuranceFieldCount,
                          static_cast<InsuranceField>(insured % kInsuranceFieldCount));
}

}  // namespace

void publishRecord(TrellyBridgeComm& comm, const PatientRecord& record) {
    // Written into the text the properties already hold, so a host that asks again and
    // again does not pay for fresh storage each time; one loop, so that the write is
    // inlined once.
    for (int i = 0; i < kRecordPropertyCount; ++i)
        comm.setPropertyText(static_cast<ResultProperty>(i), publishedText(record, i));
}

}  // namespace trellybridge
