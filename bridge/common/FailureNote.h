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
    Refused,      // the vendor answered the query with an error (an HL7 AE/AR acknowledgement)
    Unreadable,   // the vendor answered, and the answer could not be read in the format set
    Incomplete,   // the answer stopped before its end character: cut off, reset or closed
};

struct FailureNote {
    std::int16_t code = 0;  // the error code the step records, 0 when it has none
    std::string what;       // "could not connect to 10.0.0.5 port 9000: Connection refused"
    int attempts = 0;       // how many times in a row it happened
    FailureKind kind = FailureKind::Unreachable;
};

// The notes of one request, oldest first; the same failure again counts one more attempt.
class FailureNotes {
public:
    static constexpr std::size_t kMaxNotes = 32;  // a vendor failing forever keeps the latest

    void add(errc code, std::string_view what, FailureKind kind = FailureKind::Unreachable);
    void add(std::string_view what, FailureKind kind = FailureKind::Unreachable);
    // Forgets the notes: called when a request starts.
    void clear() { notes_.clear(); }
    const std::vector<FailureNote>& notes() const { return notes_; }

    // The kind of the latest note; Unreachable when there is none.
    FailureKind latestKind() const;
    // The latest failure: "what (N attempts)", or empty text when nothing failed.
    std::string text() const;
    // Every note of the request, oldest first: "error 327: what (N attempts)".
    std::vector<std::string> story() const;

private:
    void add(std::int16_t code, std::string_view what, FailureKind kind);
    std::vector<FailureNote> notes_;
};

// "not on file", "unreachable", "settings", "refused", "unreadable" or "incomplete", as
// the FailureKind property shows it.
std::string_view failureKindName(FailureKind kind);

}  // namespace trellybridge
