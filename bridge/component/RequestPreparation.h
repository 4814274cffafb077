// The settings of one request, from the caller's arguments to what the session uses:
// stored, adjusted for the bridge, the company number checked (HL7), the paths of the
// bridge assigned and the last defaults applied; an identifier or a setting that can
// never work refuses the request before anything is touched.
#pragma once

#include "common/BridgeConfiguration.h"
#include "common/RequestState.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::configuration {

enum class Prepared {
    Ready,    // the progress window may run
    Ended,    // ended as the component always has: nothing published
    Refused,  // a setting cannot be used: error 300 recorded, to be published
};

struct PreparationMode {
    bool showPages = true;       // the property pages, when DisplayProperties asks for them
    bool refuseUnusable = true;  // refuse an identifier or a setting that cannot be used
};

// GetPatient's preparation.
inline constexpr PreparationMode kForRequest{};
// An answer already at hand is read with the site's settings and nothing is sent: no
// pages, and nothing to refuse (the parse command and the format tests).
inline constexpr PreparationMode kForAnswerAtHand{false, false};

// Stores the arguments into the request's settings and makes them ready for the session;
// a refusal is recorded in the request's reasons.
Prepared prepareRequest(RequestState& state, const GetPatientArguments& arguments,
                        PreparationMode mode = kForRequest);

}  // namespace trellybridge::configuration
