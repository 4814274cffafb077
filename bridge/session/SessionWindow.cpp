#include "session/SessionWindow.h"

#include "common/Version.h"
#include "platform/ThreadContext.h"

namespace trellybridge::session {

SessionWindow::SessionWindow()
    : SessionWindow([](ProgressView& view) { return std::make_unique<Session>(view); }) {}

SessionWindow::SessionWindow(const EngineMaker& makeEngine) : engine_(makeEngine(*this)) {}

void SessionWindow::onLoad() {
    if (!state_) {  // nothing to serve: runRequest hands a state over before each run
        unload();
        return;
    }
    caption = std::string(kApplicationTitle) + " - v. (" + Variant(kControlVersion).toText() + ")";
    engine_->start(*state_);
}

void SessionWindow::appendText(std::string_view text) {
    txtInformation.append(text);
    ui::toolkit().progress(ui::ProgressKind::Log, text);
}

void SessionWindow::clearText() {
    txtInformation.clear();
}

void SessionWindow::showStatus(std::string_view status) {
    lblStatus = status;
    ui::toolkit().progress(ui::ProgressKind::Status, status);
}

void SessionWindow::showConnectionTime(std::string_view text) {
    lblConnectionTime = text;
}

SessionWindow& sessionWindow() {
    return platform::threadObject<SessionWindow>();
}

void unloadSessionWindow() {
    SessionWindow& window = sessionWindow();
    window.engine().stop();
    window.unload();
}

}  // namespace trellybridge::session
