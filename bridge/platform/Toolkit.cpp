#include "platform/Toolkit.h"

#include <string>

#include "platform/EventLoop.h"
#include "platform/ThreadContext.h"

namespace trellybridge::ui {
namespace {
std::shared_ptr<Toolkit>& installed() {
    return platform::threadContext().toolkit;
}
}  // namespace

void HeadlessToolkit::runModal(Window& window) {
    window.load();
    // A window that has nothing left to wake it (no timer, no watch) can never close:
    // end the modal loop rather than hang the host.
    while (window.isLoaded())
        if (!EventLoop::current().runOnce()) window.unload();
}

void HeadlessToolkit::pumpMessages() {
    EventLoop::current().pump();
}

Button HeadlessToolkit::messageBox(std::string_view text, std::string_view title, Icon,
                                   Buttons buttons) {
    std::string line =
        title.empty() ? std::string(text) : std::string(title) + ": " + std::string(text);
    progress(ProgressKind::MessageBox, line);
    return buttons == Buttons::YesNo ? Button::Yes : Button::Ok;
}

void HeadlessToolkit::showPropertyPage(PropertyPage&) {}

FileDialogResult HeadlessToolkit::fileDialog(std::string_view, std::string_view, std::string_view) {
    return {FileDialogOutcome::Cancelled, {}};
}

void HeadlessToolkit::progress(ProgressKind kind, std::string_view text) {
    if (sink_) sink_(kind, text);
}

Toolkit& toolkit() {
    std::shared_ptr<Toolkit>& current = installed();
    if (!current) current = std::make_shared<HeadlessToolkit>();
    return *current;
}

void setToolkit(std::shared_ptr<Toolkit> replacement) {
    installed() = std::move(replacement);
}

}  // namespace trellybridge::ui
