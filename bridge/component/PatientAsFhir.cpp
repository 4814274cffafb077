// The published record as FHIR: read back from this instance's properties, so that the
// Bundle says what the host itself reads.
#include "component/PatientAsFhir.h"

#include "common/BridgeConfiguration.h"
#include "formats/Fhir.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {

std::string TrellyBridgeComm::fhirSystemProblem(std::string_view identifierSystem) {
    return formats::accountSystem(identifierSystem).problem;
}

std::string publishedRecordAsFhir(const PatientRecord& record, std::string_view requestedPatientId,
                                  std::string_view identifierSystem) {
    formats::AccountSystem system = formats::accountSystem(identifierSystem);
    if (!system.problem.empty()) return {};
    PatientRecord published;
    published.fields = record.fields;
    for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot)
        for (int f = 0; f < kInsuranceFieldCount; ++f)
            published.insured(slot, static_cast<InsuranceField>(f)) =
                record.insured(slot, static_cast<InsuranceField>(f));
    formats::FhirOptions options;
    options.identifierSystem = system.system;
    // An empty record (nothing found) names nobody.
    bool any = false;
    for (const std::string& field : published.fields) any = any || !field.empty();
    if (any && requestedPatientId != kInvalidMarker)
        options.requestedPatientId = std::string(requestedPatientId);
    try {
        return formats::toFhirBundle(published, options);
    } catch (...) {
        return {};
    }
}

std::string TrellyBridgeComm::patientAsFhir(std::string_view identifierSystem) const {
    PatientRecord record;
    for (int i = 0; i < kRecordFieldCount; ++i)
        record.fields[static_cast<size_t>(i)] = property(static_cast<ResultProperty>(i)).toText();
    for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot)
        for (int f = 0; f < kInsuranceFieldCount; ++f)
            record.insured(slot, static_cast<InsuranceField>(f)) =
                property(static_cast<ResultProperty>(kRecordFieldCount +
                                                     slot * kInsuranceFieldCount + f))
                    .toText();
    // Named by the PatientID of this instance's request, not a later one's on the thread.
    return publishedRecordAsFhir(record, publishedFor_, identifierSystem);
}

}  // namespace trellybridge
