// The published record as FHIR: read back from this instance's properties, so that the
// Bundle says what the host itself reads.
#include "common/BridgeConfiguration.h"
#include "formats/Fhir.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {

std::string TrellyBridgeComm::fhirSystemProblem(std::string_view identifierSystem) {
    return formats::accountSystem(identifierSystem).problem;
}

std::string TrellyBridgeComm::patientAsFhir(std::string_view identifierSystem) const {
    formats::AccountSystem system = formats::accountSystem(identifierSystem);
    if (!system.problem.empty()) return {};
    PatientRecord record;
    for (int i = 0; i < kRecordFieldCount; ++i)
        record.fields[static_cast<size_t>(i)] = property(static_cast<ResultProperty>(i)).toText();
    for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot)
        for (int f = 0; f < kInsuranceFieldCount; ++f)
            record.insured(slot, static_cast<InsuranceField>(f)) =
                property(static_cast<ResultProperty>(kRecordFieldCount +
                                                     slot * kInsuranceFieldCount + f))
                    .toText();
    formats::FhirOptions options;
    options.identifierSystem = system.system;
    // An answer without the account number is named by the PatientID its request asked
    // for (this instance's, not a later request's on the thread); an empty record
    // (nothing found) names nobody.
    bool published = false;
    for (const std::string& field : record.fields) published = published || !field.empty();
    if (published && publishedFor_ != kInvalidMarker) options.requestedPatientId = publishedFor_;
    try {
        return formats::toFhirBundle(record, options);
    } catch (...) {
        return {};
    }
}

}  // namespace trellybridge
