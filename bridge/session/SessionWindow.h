// The session window (frmGUI): the modal progress window in which one GetPatient
// request is carried out on the caller's thread. Two timers drive it: PortTimer runs
// the serial and TCP bridges (and an invalid bridge type), NetworkTimer the file
// exchanges, the web service and the USB bridge. Each tick performs at most one step,
// through the bridge object made for the request at load. The window loads, closes and
// shows progress; the run loops (RunLoops.cpp), the bridges (one file each) and the
// answer dispatcher (AnswerDispatch.cpp) do the rest.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/Errors.h"
#include "platform/EventLoop.h"
#include "platform/Toolkit.h"
#include "session/BridgeSession.h"

namespace trellybridge::session {

class SessionWindow : public ui::Window {
public:
    SessionWindow();

    // Controls.
    std::string caption;
    std::string txtInformation;  // the progress log; only appended to or cleared
    std::string lblStatus;
    std::string lblConnectionTime;
    ui::Timer PortTimer;
    ui::Timer NetworkTimer;

    int ticksRun = 0;  // timer ticks of this session, for measuring the engine

    // The run loops: one tick of each timer.
    void networkTick();
    void portTick();
    // The answer dispatcher: hands the answer to the parser of the vendor format.
    bool processResponse(std::string answer);

    void closeConnection();
    void cmdClose();
    // Fast pace: runs the port loop's next step now, as the tick that would run it
    // will, and keeps the timer on the schedule it would have had; or once `descriptor`
    // is readable.
    void continueAtOnce();
    void continueWhenReadable(int descriptor);
    // The pattern a failing step ends with; the timer's retry rules then go on.
    void failureNotice(std::string_view stepText, std::string_view runtimeError = {});
    // A step's attempt: success is reported and starts the attempts afresh, a failure
    // counts one more attempt.
    void countAttempt(bool succeeded);

    // The thread's shared state that the next load serves, handed over by the component.
    void serve(ThreadState& shared) { shared_ = &shared; }

    // The bridge object of this window's request, made at load; null before the first
    // load and after the host closed the connection.
    const BridgeSession* bridge() const { return bridge_.get(); }
    // Lets go of the bridge and what it holds (its port, its connection).
    void releaseBridge() { bridge_.reset(); }

    // How the window makes its bridge and records errors: the settings' bridge and the
    // single-patient recorder here; the enhanced window has its own.
    virtual std::unique_ptr<BridgeSession> makeSessionBridge(const Request& request) const;
    virtual void record(errc code, std::string_view description = {}) const;

    void updateMessage(std::string& message);
    void setStatus(std::string_view status);
    void updateText(std::string_view text);
    void clearText();
    void updateElapsedTime();

    // What a toolkit draws, and its close button.
    ui::WindowView view() const override {
        return {caption, txtInformation, lblStatus, lblConnectionTime};
    }
    void closeClicked() override { cmdClose(); }

protected:
    void onLoad() override;

    ThreadState* shared_ = nullptr;   // what the component handed over for this run
    std::optional<Request> request_;  // the request being served, made at load

private:
    void startTimer(ui::Timer& timer);
    // The phases of the network run loop.
    std::string bridgeName() const;
    void readPhase(BridgeSession& bridge);
    void sendPhase(BridgeSession& bridge);
    void cleanupPhase(BridgeSession& bridge);
    void preparePhase();
    // One attempt of the port loop's current step, or the end rule when none is left.
    void runPortStep(BridgeSession& bridge);
    void stopAwaiting();
    std::unique_ptr<BridgeSession> bridge_;
    int sessionNumber_ = 0;  // which session a continuation belongs to
    int awaitWatch_ = 0;
};

// What reading an answer means for the shared state: the parse's stamps, the STANDARD
// delimiter, the found flag, and a disconnected session with its ticks restarted. The
// errors the parse raised are recorded first.
void applyParseResult(ThreadState& shared, const formats::ParseResult& result);
// The record, debug dump and STANDARD delimiter that an answer is parsed into.
formats::ParseContext parseContext(ThreadState& shared);

// The thread's session window.
SessionWindow& sessionWindow();
// Shows it modally, serving `shared`; returns when it has unloaded, or when the session
// broke off.
void runSessionWindow(ThreadState& shared) noexcept;
// Unloads it if it is still loaded.
void unloadSessionWindow();

}  // namespace trellybridge::session
