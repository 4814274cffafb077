// Why a request ended as it did, in the two forms it is told: the error list hosts read
// (ErrorCodes, ErrorDescriptions) and the failure notes an administrator reads. The
// thread keeps both, shared by every component on it; each step of a request is handed
// this view of them instead of reaching for the thread.
#pragma once

#include <string>
#include <string_view>

#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/SessionState.h"

namespace trellybridge {

class Reasons {
public:
    // `session` tells whether an attempt is running; `enhancedError` keeps the enhanced
    // recorder's last message.
    Reasons(std::string& errorList, std::string& enhancedError, FailureNotes& notes,
            const SessionState& session)
        : errorList_(&errorList),
          enhancedError_(&enhancedError),
          notes_(&notes),
          session_(&session) {}

    // The single-patient recorder: an error raised while an attempt runs is dropped, as
    // the attempt will be tried again.
    void record(errc code, std::string_view description = {}) const;
    void record(const ErrorNotices& notices) const;
    // The enhanced recorder: keeps the message as the enhanced error and always appends.
    void recordEnhanced(errc code, std::string_view description = {}) const;
    // Appends an element with the message as it stands; dropped, as record's, while an
    // attempt runs.
    void append(errc code, std::string_view message) const;

    // A failure note: what failed, with the error code it recorded and what it says of
    // the vendor (unreachable unless told otherwise).
    void note(std::string_view what) const { notes_->add(what); }
    void note(errc code, std::string_view what) const { notes_->add(code, what); }
    void note(FailureKind kind, std::string_view what) const { notes_->add(what, kind); }
    void note(errc code, std::string_view what, FailureKind kind) const {
        notes_->add(code, what, kind);
    }

    const std::string& errorList() const { return *errorList_; }
    const FailureNotes& notes() const { return *notes_; }

private:
    std::string_view detailOf(errc code, std::string_view description) const;

    std::string* errorList_;
    std::string* enhancedError_;
    FailureNotes* notes_;
    const SessionState* session_;
};

}  // namespace trellybridge
