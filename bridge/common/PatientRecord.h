// The patient parsed from the vendor's answer, before it is published as properties.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "trellybridge/Fields.h"

namespace trellybridge {

enum class RecordField : int {
#define TRELLYBRIDGE_ENUM(name) name,
    TRELLYBRIDGE_RECORD_FIELDS(TRELLYBRIDGE_ENUM)
#undef TRELLYBRIDGE_ENUM
};

enum class InsuranceField : int {
#define TRELLYBRIDGE_ENUM(name) name,
    TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_ENUM)
#undef TRELLYBRIDGE_ENUM
};

inline constexpr int kRecordFieldCount = 57;
inline constexpr int kInsuranceFieldCount = 19;
// Slots 0 to 2 are published as i1 to i3; slot 3 is never published or cleared.
inline constexpr int kInsuranceSlots = 4;
inline constexpr int kPublishedInsuranceSlots = 3;
// Diagnoses 1 to 12, each a description and a code.
inline constexpr int kDiagnosisSlots = 12;

std::string_view fieldName(RecordField field);
std::string_view fieldName(InsuranceField field);

struct PatientRecord {
    using InsuranceSlot = std::array<std::string, kInsuranceFieldCount>;

    std::array<std::string, kRecordFieldCount> fields;
    std::array<InsuranceSlot, kInsuranceSlots> insurance;

    std::string& operator[](RecordField field) { return fields[static_cast<size_t>(field)]; }
    const std::string& operator[](RecordField field) const {
        return fields[static_cast<size_t>(field)];
    }
    std::string& insured(int slot, InsuranceField field) {
        return insurance[static_cast<size_t>(slot)][static_cast<size_t>(field)];
    }
    const std::string& insured(int slot, InsuranceField field) const {
        return insurance[static_cast<size_t>(slot)][static_cast<size_t>(field)];
    }
    // The n-th diagnosis (1 to kDiagnosisSlots): its fields follow one another, the
    // description before the code.
    static RecordField diagnosisDescriptionField(int n) {
        return static_cast<RecordField>(static_cast<int>(RecordField::p2ICD9Description1) +
                                        2 * (n - 1));
    }
    static RecordField diagnosisCodeField(int n) {
        return static_cast<RecordField>(static_cast<int>(RecordField::p2ICD9Code1) + 2 * (n - 1));
    }
    std::string& diagnosisDescription(int n) { return (*this)[diagnosisDescriptionField(n)]; }
    std::string& diagnosisCode(int n) { return (*this)[diagnosisCodeField(n)]; }

    // Empties every scalar field and the published insurance slots.
    void clear();
};

// Moves the guarantor's address over the patient's (MEDIC sites).
bool useGuarantorAddress(PatientRecord& record);
// Makes the guarantor a copy of the patient: name, address and phones, and with
// `identity` also SSN, gender and date of birth.
void guarantorFromPatient(PatientRecord& record, bool identity);

}  // namespace trellybridge
