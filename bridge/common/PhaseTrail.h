// The one way a session's phase and its outcome flags change, so that every change can
// be followed in the phase trail and no step writes half of a pattern.
#pragma once

#include <string_view>

#include "common/SessionState.h"

namespace trellybridge {

std::string_view phaseName(Phase phase);

// Moves the session to `next` and notes "old -> new" in its trail.
void setPhase(SessionState& session, Phase next);
// A session starts: the trail is emptied and the phase set without a note.
void startPhase(SessionState& session, Phase first);

// The session has started work on the vendor (the first attempt of a transport).
void workStarted(SessionState& session);
// The session no longer counts as working on the vendor, and the wait before the next
// step starts again (an exchange that cannot go on; the found flag is left alone).
void workStopped(SessionState& session);
// A failed attempt: the patient is not found, the session no longer counts as working
// on the vendor, the wait before the next attempt starts again, and the failure is counted.
void attemptFailed(SessionState& session, bool& patientFound);
// The answer is in: the session has done its work and the patient is found.
void answerFound(SessionState& session, bool& patientFound);

}  // namespace trellybridge
