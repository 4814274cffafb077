#include "session/ProgressWindow.h"

#include "common/Version.h"
#include "platform/ThreadContext.h"

namespace trellybridge::session {

ProgressWindow::ProgressWindow()
    : ProgressWindow([](ProgressView& view) { return std::make_unique<Session>(view); }) {}

ProgressWindow::ProgressWindow(const EngineMaker& makeEngine) : engine_(makeEngine(*this)) {}

void ProgressWindow::onLoad() {
    if (!state_) {  // nothing to serve: runRequest hands a state over before each run
        unload();
        return;
    }
    caption = std::string(kApplicationTitle) + " - v. (" + Variant(kControlVersion).toText() + ")";
    engine_->start(*state_);
}

void ProgressWindow::appendText(std::string_view text) {
    progressLog.append(text);
    ui::toolkit().progress(ui::ProgressKind::Log, text);
}

void ProgressWindow::clearText() {
    progressLog.clear();
}

void ProgressWindow::showStatus(std::string_view status) {
    statusLine = status;
    ui::toolkit().progress(ui::ProgressKind::Status, status);
}

void ProgressWindow::showConnectionTime(std::string_view text) {
    connectionTime = text;
}

ProgressWindow& progressWindow() {
    return platform::threadObject<ProgressWindow>();
}

void unloadProgressWindow() {
    ProgressWindow& window = progressWindow();
    window.engine().stop();
    window.unload();
}

}  // namespace trellybridge::session
