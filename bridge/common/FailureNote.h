// Why the last request failed, in words an administrator can act on. The error list
// stays as hosts know it (it drops errors while an attempt runs); this note is kept
// beside it for the command line and the debug dump.
#pragma once

#include <string>
#include <string_view>

namespace trellybridge {

struct FailureNote {
    std::string what;  // "could not connect to 10.0.0.5 port 9000: Connection refused"
    int attempts = 0;  // how many times in a row `what` happened
};

// Notes a failure of this request; the same failure again counts one more attempt.
void noteFailure(std::string_view what);
// Forgets the note: called when a request starts.
void clearFailureNote();
// "what (N attempts)", or empty text when nothing failed.
std::string failureNoteText();

}  // namespace trellybridge
