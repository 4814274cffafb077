// Every setting of a request, under the GetPatient argument names, after normalisation.
#pragma once

#include <algorithm>
#include <cmath>
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

// AllowedRetries as the whole number of attempts the run loops count against, the same
// in every comparison: "2.5" rounds as any conversion to a whole number does, so no
// fractional limit can be stepped over; text that is not a number gives none.
inline int allowedAttempts(const BridgeConfiguration& config) {
    double value = std::nearbyint(config.AllowedRetries.numericValue());
    if (!std::isfinite(value)) value = 0;
    return static_cast<int>(std::clamp(value, -1e9, 1e9));
}

}  // namespace trellybridge
