#include "common/FailureNote.h"

#include "common/ThreadState.h"

namespace trellybridge {

void noteFailure(std::string_view what) {
    FailureNote& note = threadState().lastFailure;
    if (note.what == what) {
        ++note.attempts;
        return;
    }
    note.what = std::string(what);
    note.attempts = 1;
}

void clearFailureNote() {
    threadState().lastFailure = {};
}

std::string failureNoteText() {
    const FailureNote& note = threadState().lastFailure;
    if (note.what.empty()) return {};
    return note.what + " (" + std::to_string(note.attempts) +
           (note.attempts == 1 ? " attempt)" : " attempts)");
}

}  // namespace trellybridge
