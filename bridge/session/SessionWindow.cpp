#include "session/SessionWindow.h"

#include "platform/Toolkit.h"

namespace trellybridge::session {
namespace {

class SessionWindow : public ui::Window {
protected:
    void onLoad() override { unload(); }
};

SessionWindow& window() {
    thread_local SessionWindow instance;
    return instance;
}

}  // namespace

void runSessionWindow() {
    ui::toolkit().runModal(window());
}

void unloadSessionWindow() {
    window().unload();
}

}  // namespace trellybridge::session
