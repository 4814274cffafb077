#include "common/FailureNote.h"

namespace trellybridge {
namespace {

std::string withAttempts(const FailureNote& note) {
    return note.what + " (" + std::to_string(note.attempts) +
           (note.attempts == 1 ? " attempt)" : " attempts)");
}

}  // namespace

void FailureNotes::add(std::int16_t code, std::string_view what, FailureKind kind) {
    if (!notes_.empty() && notes_.back().code == code && notes_.back().what == what &&
        notes_.back().kind == kind) {
        ++notes_.back().attempts;
        return;
    }
    if (notes_.size() == kMaxNotes) notes_.erase(notes_.begin());
    notes_.push_back({code, std::string(what), 1, kind});
}

void FailureNotes::add(errc code, std::string_view what, FailureKind kind) {
    add(static_cast<std::int16_t>(code), what, kind);
}

void FailureNotes::add(std::string_view what, FailureKind kind) {
    add(std::int16_t{0}, what, kind);
}

FailureKind FailureNotes::latestKind() const {
    return notes_.empty() ? FailureKind::Unreachable : notes_.back().kind;
}

std::string_view failureKindName(FailureKind kind) {
    switch (kind) {
        case FailureKind::Unreachable: return "unreachable";
        case FailureKind::NotOnFile: return "not on file";
        case FailureKind::Settings: return "settings";
        case FailureKind::Refused: return "refused";
        case FailureKind::Unreadable: return "unreadable";
        case FailureKind::Incomplete: return "incomplete";
    }
    return "unreachable";
}

std::string FailureNotes::text() const {
    return notes_.empty() ? std::string() : withAttempts(notes_.back());
}

std::vector<std::string> FailureNotes::story() const {
    std::vector<std::string> story;
    for (const FailureNote& note : notes_)
        story.push_back((note.code ? "error " + std::to_string(note.code) + ": " : "") +
                        withAttempts(note));
    return story;
}

}  // namespace trellybridge
