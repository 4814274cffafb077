// What the thread's requests carry from one to the next (settings, record, bookkeeping,
// recorded errors): the next request on the thread starts from it, and the host reads it
// back through the result properties. Tests that look behind the properties read it here,
// or set what the next request starts from; the rest of the thread's state (the search's
// request sections, the request in progress) stays the component's.
#pragma once

#include "common/RequestState.h"

namespace trellybridge {

RequestState& lastRequest();

}  // namespace trellybridge
