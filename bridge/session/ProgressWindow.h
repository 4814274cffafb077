// The progress window (frmGUI): the modal window in which one GetPatient request is
// carried out on the caller's thread. The window shows what its session engine reports
// and closes when the session ends; the engine (Session.cpp), the bridges (one file
// each) and the answer dispatcher (AnswerDispatch.cpp) do the rest.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/RequestState.h"
#include "platform/Toolkit.h"
#include "session/Session.h"

namespace trellybridge::session {

class ProgressWindow : public ui::Window, public ProgressView {
public:
    ProgressWindow();

    // Controls.
    std::string caption;
    std::string progressLog;  // only appended to or cleared
    std::string statusLine;
    std::string connectionTime;

    Session& engine() { return *engine_; }
    const Session& engine() const { return *engine_; }
    // The state of the request that the next load serves (runRequest hands it over).
    void serve(RequestState& state) { state_ = &state; }
    // The request it served has ended: nothing of it is kept but the bridge.
    void release() {
        state_ = nullptr;
        engine_->release();
    }

    // What the engine shows, and its end.
    void appendText(std::string_view text) override;
    void clearText() override;
    void showStatus(std::string_view status) override;
    void showConnectionTime(std::string_view text) override;
    void close() override { unload(); }
    bool showing() const override { return isLoaded(); }

    // What a toolkit draws, and its close button.
    ui::WindowView view() const override {
        return {caption, progressLog, statusLine, connectionTime};
    }
    void closeClicked() override { engine_->endSession(); }

protected:
    using EngineMaker = std::function<std::unique_ptr<Session>(ProgressView&)>;
    explicit ProgressWindow(const EngineMaker& makeEngine);
    void onLoad() override;

private:
    RequestState* state_ = nullptr;  // the request this run serves
    std::unique_ptr<Session> engine_;
};

// The thread's progress window.
ProgressWindow& progressWindow();
// Unloads it if it is still loaded, and lets go of its bridge.
void unloadProgressWindow();

}  // namespace trellybridge::session
