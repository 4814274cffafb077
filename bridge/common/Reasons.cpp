#include "common/Reasons.h"

namespace trellybridge {

std::string_view Reasons::detailOf(errc code, std::string_view description) const {
    // The ports a failed open names are the ones the session was configured with.
    if (code == errc::PortOpenFailed && description.empty()) return session_->configuredPorts;
    return description;
}

void Reasons::record(errc code, std::string_view description) const {
    std::string message = errorMessage(code, detailOf(code, description), Recorder::Standard);
    if (!message.empty()) append(code, message);
}

void Reasons::record(const ErrorNotices& notices) const {
    for (const ErrorNotice& notice : notices) record(notice.code, notice.description);
}

void Reasons::recordEnhanced(errc code, std::string_view description) const {
    std::string message = errorMessage(code, detailOf(code, description), Recorder::Enhanced);
    *enhancedError_ = message;
    if (!message.empty()) *errorList_ += errorElement(code, message);
}

void Reasons::append(errc code, std::string_view message) const {
    if (session_->attemptCount != 0) return;
    *errorList_ += errorElement(code, message);
}

}  // namespace trellybridge
