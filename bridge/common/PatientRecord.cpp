#include "common/PatientRecord.h"

#include <utility>

namespace trellybridge {
namespace {

constexpr std::string_view kRecordFieldNames[] = {
#define TRELLYBRIDGE_NAME(name) #name,
    TRELLYBRIDGE_RECORD_FIELDS(TRELLYBRIDGE_NAME)};
constexpr std::string_view kInsuranceFieldNames[] = {
    TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_NAME)
#undef TRELLYBRIDGE_NAME
};
static_assert(std::size(kRecordFieldNames) == kRecordFieldCount);
static_assert(std::size(kInsuranceFieldNames) == kInsuranceFieldCount);

}  // namespace

std::string_view fieldName(RecordField field) {
    return kRecordFieldNames[static_cast<size_t>(field)];
}
std::string_view fieldName(InsuranceField field) {
    return kInsuranceFieldNames[static_cast<size_t>(field)];
}

void PatientRecord::clear() {
    for (std::string& field : fields) field.clear();
    for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot)
        for (std::string& field : insurance[static_cast<size_t>(slot)]) field.clear();
}

bool useGuarantorAddress(PatientRecord& record) {
    using F = RecordField;
    record[F::p1PatientAddress1] = record[F::g1GuarantorAddress1];
    record[F::p1PatientAddress2] = record[F::g1GuarantorAddress2];
    record[F::p1PatientCity] = record[F::g1GuarantorCity];
    record[F::p1PatientState] = record[F::g1GuarantorState];
    record[F::p1PatientPostal] = record[F::g1GuarantorPostal];
    return true;
}

void guarantorFromPatient(PatientRecord& record, bool identity) {
    using F = RecordField;
    static constexpr std::pair<F, F> kNameAddressPhones[] = {
        {F::g1GuarantorLastName, F::p1PatientLastName},
        {F::g1GuarantorFirstName, F::p1PatientFirstName},
        {F::g1GuarantorMiddleInitial, F::p1PatientMiddleInitial},
        {F::g1GuarantorAddress1, F::p1PatientAddress1},
        {F::g1GuarantorAddress2, F::p1PatientAddress2},
        {F::g1GuarantorCity, F::p1PatientCity},
        {F::g1GuarantorState, F::p1PatientState},
        {F::g1GuarantorPostal, F::p1PatientPostal},
        {F::g1GuarantorHomePhone, F::p1PatientHomePhone},
        {F::g1GuarantorWorkPhone, F::p1PatientWorkPhone}};
    static constexpr std::pair<F, F> kIdentity[] = {{F::g1GuarantorSSN, F::p1PatientSSN},
                                                    {F::g1GuarantorGender, F::p1PatientGender},
                                                    {F::g1GuarantorDOB, F::p1PatientDOB}};
    for (auto [guarantor, patient] : kNameAddressPhones) record[guarantor] = record[patient];
    if (identity)
        for (auto [guarantor, patient] : kIdentity) record[guarantor] = record[patient];
}

}  // namespace trellybridge
