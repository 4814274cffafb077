// Why the last request failed, in words an administrator can act on. The error list
// stays as hosts know it (it drops errors while an attempt runs); these notes are kept
// beside it for the command line and the debug dump.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Errors.h"

namespace trellybridge {

// What a failure says about the vendor, so that a caller can tell "not on file" from
// "could not ask": the command's exit status and the binding's exceptions follow it.
enum class FailureKind {
    Unreachable,  // no answer: name look-up, connect, TLS, port, time-out, answer too large
    NotOnFile,    // the vendor answered, and the patient is not in the answer
    Settings,     // the request could not be made from the settings given
};

struct FailureNote {
    std::int16_t code = 0;  // the error code the step records, 0 when it has none
    std::string what;       // "could not connect to 10.0.0.5 port 9000: Connection refused"
    int attempts = 0;       // how many times in a row it happened
    FailureKind kind = FailureKind::Unreachable;
};

// The notes of one request, oldest first; the same failure again counts one more attempt.
struct FailureNotes {
    static constexpr std::size_t kMaxNotes = 32;  // a vendor failing forever keeps the latest
    std::vector<FailureNote> notes;
};

void noteFailure(std::string_view what);
void noteFailure(errc code, std::string_view what);
void noteFailure(FailureKind kind, std::string_view what);
void noteFailure(errc code, std::string_view what, FailureKind kind);
// The kind of the latest note; Unreachable when there is none.
FailureKind latestFailureKind();
// "not on file", "unreachable" or "settings", as the FailureKind property shows it.
std::string_view failureKindName(FailureKind kind);
// Forgets the notes: called when a request starts.
void clearFailureNote();
// The latest failure: "what (N attempts)", or empty text when nothing failed.
std::string failureNoteText();
// Every note of the request, oldest first: "error 327: what (N attempts)".
std::vector<std::string> failureStory();

}  // namespace trellybridge
