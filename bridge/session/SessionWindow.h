// The session window (frmGUI): the modal progress window in which one GetPatient
// request is carried out on the caller's thread. Two timers drive it: SerialTimer runs
// the serial and TCP bridges (and an invalid bridge type), NetworkTimer the file
// exchanges, the web service and the USB bridge. Each tick performs at most one step,
// through the BridgeSession of the configured bridge. The window loads, closes and
// shows progress; the run loops (RunLoops.cpp), the bridges (one file each) and the
// answer dispatcher (AnswerDispatch.cpp) do the rest.
#pragma once

#include <string>
#include <string_view>

#include "common/Errors.h"
#include "platform/EventLoop.h"
#include "platform/Toolkit.h"

namespace trellybridge::formats {
struct ParseResult;
struct ParseContext;
}  // namespace trellybridge::formats

namespace trellybridge::session {

class BridgeSession;

class SessionWindow : public ui::Window {
public:
    SessionWindow();

    // Controls.
    std::string caption;
    std::string txtInformation;  // the progress log; only appended to or cleared
    std::string lblStatus;
    std::string lblConnectionTime;
    ui::Timer SerialTimer;
    ui::Timer NetworkTimer;

    // Reset each time the window loads.
    bool closePending = false;
    int portIndex = 0;
    int ticksRun = 0;  // timer ticks of this session, for measuring the engine

    // The run loops: one tick of each timer.
    void networkTick();
    void serialTick();
    // The serial control's event; code 2 is "data received", 5 the line hanging up.
    void commEvent(int eventCode);
    bool handleSerialInput(const std::string& chunk);
    // The answer dispatcher: hands the answer to the parser of the vendor format.
    bool processResponse(std::string answer);

    void closeConnection();
    void resetConnection();
    void cmdClose();
    // Fast pace: runs the serial loop's next step now, as the tick that would run it
    // will, and keeps the timer on the schedule it would have had; or once `descriptor`
    // is readable.
    void continueAtOnce();
    void continueWhenReadable(int descriptor);
    // The pattern a failing step ends with; the timer's retry rules then go on.
    void failureNotice(std::string_view stepText, std::string_view runtimeError = {});
    // A step's attempt: success is reported and starts the attempts afresh, a failure
    // counts one more attempt.
    void countAttempt(bool succeeded);

    // The bridge this window runs, and how it records errors: the settings' bridge and
    // the single-patient recorder here; the enhanced window has its own.
    virtual const BridgeSession& sessionBridge() const;
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

private:
    void startTimer(ui::Timer& timer);
    // The phases of the network run loop.
    void readPhase(const BridgeSession& bridge);
    void sendPhase(const BridgeSession& bridge);
    void cleanupPhase(const BridgeSession& bridge);
    void preparePhase();
    // The serial line went away under the session: the attempt ends.
    void lineHungUp();
    // One attempt of the serial loop's current step, or the end rule when none is left.
    void runSerialStep(const BridgeSession& bridge);
    void stopAwaiting();
    int sessionNumber_ = 0;  // which session a continuation belongs to
    int awaitWatch_ = 0;
};

// The bridge the thread's settings name now.
const BridgeSession& currentBridge();
// What reading an answer means for the session: the parse's stamps, the STANDARD
// delimiter, the found flag, and a disconnected session with its ticks restarted.
// The errors the parse raised are recorded first.
void applyParseResult(const formats::ParseResult& result);
// The thread's record, debug dump and STANDARD delimiter: what a request parses into.
formats::ParseContext threadParseContext();

// The thread's session window.
SessionWindow& sessionWindow();
// Shows it modally; returns when it has unloaded, or when the session broke off.
void runSessionWindow() noexcept;
// Unloads it if it is still loaded.
void unloadSessionWindow();

}  // namespace trellybridge::session
