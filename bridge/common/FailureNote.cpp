#include "common/FailureNote.h"

#include "common/ThreadState.h"

namespace trellybridge {
namespace {

std::vector<FailureNote>& notes() {
    return threadState().failures.notes;
}

void note(std::int16_t code, std::string_view what, FailureKind kind = FailureKind::Unreachable) {
    std::vector<FailureNote>& kept = notes();
    if (!kept.empty() && kept.back().code == code && kept.back().what == what &&
        kept.back().kind == kind) {
        ++kept.back().attempts;
        return;
    }
    if (kept.size() == FailureNotes::kMaxNotes) kept.erase(kept.begin());
    kept.push_back({code, std::string(what), 1, kind});
}

std::string withAttempts(const FailureNote& note) {
    return note.what + " (" + std::to_string(note.attempts) +
           (note.attempts == 1 ? " attempt)" : " attempts)");
}

}  // namespace

void noteFailure(std::string_view what) {
    note(0, what);
}

void noteFailure(errc code, std::string_view what) {
    note(static_cast<std::int16_t>(code), what);
}

void noteFailure(FailureKind kind, std::string_view what) {
    note(0, what, kind);
}

void noteFailure(errc code, std::string_view what, FailureKind kind) {
    note(static_cast<std::int16_t>(code), what, kind);
}

FailureKind latestFailureKind() {
    return notes().empty() ? FailureKind::Unreachable : notes().back().kind;
}

std::string_view failureKindName(FailureKind kind) {
    switch (kind) {
        case FailureKind::Unreachable: return "unreachable";
        case FailureKind::NotOnFile: return "not on file";
        case FailureKind::Settings: return "settings";
    }
    return "unreachable";
}

void clearFailureNote() {
    notes().clear();
}

std::string failureNoteText() {
    return notes().empty() ? std::string() : withAttempts(notes().back());
}

std::vector<std::string> failureStory() {
    std::vector<std::string> story;
    for (const FailureNote& note : notes())
        story.push_back((note.code ? "error " + std::to_string(note.code) + ": " : "") +
                        withAttempts(note));
    return story;
}

}  // namespace trellybridge
