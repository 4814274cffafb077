#include "component/RecordPublishing.h"

#include "common/InsuranceLog.h"
#include "platform/Clock.h"

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

// The five-character postal code of the insurance log.
std::string shortPostal(const std::string& postal) {
    return postal.substr(0, 5);
}

std::string insuranceLogLine(const PatientRecord& record, int slot, const std::string& timestamp,
                             const std::string& patientId) {
    auto published = [&](InsuranceField field) { return record.insured(slot, field); };
    using F = InsuranceField;
    std::string items[] = {timestamp,
                           published(F::InsuredCompanyName),
                           published(F::InsuredCompanyAddress),
                           published(F::InsuredCompanyCity),
                           published(F::InsuredCompanyState),
                           shortPostal(published(F::InsuredCompanyPostal)),
                           published(F::InsuredCompanyPostal),
                           published(F::InsuredAlternateCompanyName),
                           published(F::InsuredCompanyAddress2),
                           published(F::InsuredPolicyNumber),
                           published(F::InsuredGroupNumber),
                           published(F::InsuredEmployer),
                           patientId};
    std::string line = items[0];
    for (size_t i = 1; i < std::size(items); ++i) line += "|" + items[i];
    return line;
}

}  // namespace

bool logInsuranceEntries(RequestState& state) {
    auto keep = state.config.LogInsuranceEntries.toWholeNumber();
    if (!keep) return false;
    std::string timestamp = platform::formatDate(platform::clock().now(), "yyyymmdd HH:MM");
    std::string patientId = state.config.PatientID.toText();
    InsuranceLogTurn turn;
    bool logged = false;
    for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot) {
        if (state.record.insured(slot, InsuranceField::InsuredCompanyName).empty()) continue;
        turn.addLine(kInsuranceLogFile, insuranceLogLine(state.record, slot, timestamp, patientId),
                     *keep);
        logged = true;
    }
    if (logged) turn.write(*keep, state.reasons());
    return true;
}

void publishRecord(TrellyBridgeComm& comm, const PatientRecord& record) {
    // Written into the text the properties already hold, so a host that asks again and
    // again does not pay for fresh storage each time; one loop, so that the write is
    // inlined once.
    for (int i = 0; i < kRecordPropertyCount; ++i)
        comm.setPropertyText(static_cast<ResultProperty>(i), publishedText(record, i));
}

}  // namespace trellybridge
