#include "session/SessionWindow.h"

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/SessionPhase.h"
#include "common/ThreadState.h"
#include "common/Version.h"
#include "platform/ThreadContext.h"
#include "session/BridgeSession.h"
#include "session/SessionContext.h"

namespace trellybridge::session {
namespace {

// Cut before the first comma, as the debug log shows the end characters.
std::string firstCode(const Variant& codes) {
    std::string text = codes.toText();
    return text.substr(0, text.find(','));
}

}  // namespace

std::unique_ptr<BridgeSession> SessionWindow::makeSessionBridge(const Request& request) const {
    return makeBridge(bridgeKind(request.settings));
}

void SessionWindow::record(errc code, std::string_view description) const {
    request_->reasons.record(code, description);
}

std::string SessionWindow::bridgeName() const {
    return request_ ? request_->settings.NetworkBridgeType.toText() : std::string();
}

SessionWindow::SessionWindow() {
    PortTimer.setOnTick([this] { portTick(); });
    NetworkTimer.setOnTick([this] { networkTick(); });
}

void SessionWindow::startTimer(ui::Timer& timer) {
    timer.setInterval(request_->timeDelay());
    timer.setEnabled(true);
}

void SessionWindow::onLoad() {
    if (!shared_) {  // nothing to serve: the component hands its state over before each run
        unload();
        return;
    }
    PortTimer.setEnabled(false);
    NetworkTimer.setEnabled(false);
    bridge_.reset();  // the last request's bridge goes before the request it served
    request_.emplace(*this, *shared_);
    Request& request = *request_;
    SessionState& s = request.session;
    s.buildLabel = " (" + Variant(kControlVersion).toText() + ")";
    caption = std::string(kApplicationTitle) + " - v." + s.buildLabel;

    ticksRun = 0;
    ++sessionNumber_;
    stopAwaiting();
    s.pace = requestedPace();
    s.closePortAttempts = 0;
    s.attemptCount = 0;
    s.recordDelimiter = "|";
    startPhase(s, Phase::Prepare);
    s.eolFirstCode = firstCode(request.settings.EOLCharacter);
    s.eofFirstCode = firstCode(request.settings.EOFCharacter);
    s.elapsedTicks = 0;
    // Steps of this request that never happen print as ABORTED in the debug log.
    s.startedSending = s.finishedSending = s.startedReceiving = s.finishedReceiving =
        s.startedParsing = s.finishedParsing = std::nullopt;
    txtInformation.clear();

    lblConnectionTime = "Connected for: " + std::to_string(s.elapsedTicks) + " seconds";
    setStatus(bridgeName() + " style bridge...");

    bridge_ = makeSessionBridge(request);
    RunLoop loop = bridge_->load(request);
    // A bridge whose first step already ended the session (an answer at load that held
    // no patient) leaves no timer behind to call the vendor again.
    if (isLoaded()) startTimer(loop == RunLoop::Port ? PortTimer : NetworkTimer);
    if (std::string problem = answerLimitProblem(); !problem.empty() && isLoaded())
        updateText(problem + ": the default of " + std::to_string(kDefaultAnswerLimit) +
                   " bytes applies" + CRLF);
    if (s.pace == Pace::Fast && isLoaded()) {
        updateText(std::string("Pace: fast (each step runs once what it waits for has happened)") +
                   CRLF);
        // The first step awaits nothing: it runs now, as its tick would.
        if (loop == RunLoop::Port) continueAtOnce();
    }

    if (request.patientFound()) {
        request.answerFound();
        cmdClose();
    }
}

void SessionWindow::closeConnection() {
    try {
        PortTimer.setEnabled(false);
        NetworkTimer.setEnabled(false);
        stopAwaiting();
        if (request_) {
            request_->session.elapsedTicks = 0;
            if (bridge_) bridge_->close(*request_);
            if (request_->debugging()) request_->writeDebugLog();
        }
    } catch (...) {
    }
    unload();
}

void SessionWindow::cmdClose() {
    closeConnection();
    unload();
}

void SessionWindow::failureNotice(std::string_view stepText, std::string_view runtimeError) {
    if (request_->debugging()) {
        ui::toolkit().messageBox(runtimeError.empty() ? "0 - " : runtimeError, "", ui::Icon::None);
        ui::toolkit().messageBox(stepText, "Attention!", ui::Icon::Critical);
    }
    request_->attemptFailed();
}

void SessionWindow::countAttempt(bool succeeded) {
    if (succeeded) {
        updateText(std::string("  ...Successful!") + CRLF + CRLF);
        request_->session.attemptCount = 0;
    } else {
        request_->session.attemptCount += 1;
    }
}

void SessionWindow::updateMessage(std::string& message) {
    if (request_ && request_->session.completionCode == 0)
        message = "Disconnected";
    else if (message.empty())
        message = bridgeName() + " style bridge...";
    setStatus(message);
}

void SessionWindow::setStatus(std::string_view status) {
    lblStatus = status;
    ui::toolkit().progress(ui::ProgressKind::Status, status);
}

void SessionWindow::updateText(std::string_view text) {
    txtInformation.append(text);
    ui::toolkit().progress(ui::ProgressKind::Log, text);
}

void SessionWindow::clearText() {
    txtInformation.clear();
}

void SessionWindow::updateElapsedTime() {
    lblConnectionTime = "Connection time: " + std::to_string(request_->session.elapsedTicks);
}

SessionWindow& sessionWindow() {
    return platform::threadObject<SessionWindow>();
}

void runSessionWindow(ThreadState& shared) noexcept {
    try {
        sessionWindow().serve(shared);
        ui::toolkit().runModal(sessionWindow());
    } catch (...) {
        // A session that breaks off ends as one that found nothing more; the request's
        // result is published all the same.
    }
}

void unloadSessionWindow() {
    SessionWindow& window = sessionWindow();
    window.PortTimer.setEnabled(false);
    window.NetworkTimer.setEnabled(false);
    window.releaseBridge();
    window.unload();
}

}  // namespace trellybridge::session
