// Every setting of a request, under the GetPatient argument names, after normalisation.
#pragma once

#include <string>

#include "trellybridge/Fields.h"
#include "trellybridge/Variant.h"

namespace trellybridge {

// Stored for a required setting that the caller left empty.
inline constexpr const char* kInvalidMarker = "<INVALID!>";

struct BridgeConfiguration {
#define TRELLYBRIDGE_MEMBER(name) Variant name;
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_MEMBER)
#undef TRELLYBRIDGE_MEMBER

    // The time-out of the chosen bridge, for the debug log.
    Variant bridgeTimeout;
    // True while a MEDIC default company number is in force for an HL7 request.
    bool medicCompanyMode = false;

    // Search criteria of GetPatientData.
    std::string SearchOn, CompanyName, LastName, FirstName, Social;
};

// Empty text and the INVALID marker both mean "not supplied" to a consumer with a fallback.
inline bool isUnset(const Variant& value) {
    return value.isEmptyText() || value.toText() == kInvalidMarker;
}

}  // namespace trellybridge
