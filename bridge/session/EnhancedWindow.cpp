#include "session/EnhancedWindow.h"

#include "common/Errors.h"
#include "common/ThreadState.h"
#include "platform/ThreadContext.h"
#include "session/SearchRequest.h"
#include "session/SerialLine.h"
#include "session/SessionContext.h"
#include "session/TcpSession.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::session {

// The search over TCP/IP: the search request without the end-of-request characters
// (the send adds CR LF), read until the closing result tag, turned into the result.
// Every send builds from the section and company the request gave, so that a resend is
// the same request.
class SearchExchange : public Exchange {
public:
    std::string section;
    std::string company;
    ThreadState* shared = nullptr;  // where the sent section and the result are kept

    Message message(Request& request) const override {
        request.settings.CompanyName = company;
        SearchRequest built = buildSearchRequest(request.settings, section);
        request.settings.CompanyName = built.companyName;
        shared->searchInfoSection = built.text;
        return {built.text, built.text};
    }
    bool answerComplete(const Request&, const std::string& answer, size_t newFrom) const override {
        return tcp::resultEndArrived(answer, newFrom);
    }
    // The result list is passed on as the vendor sent it, whole or not.
    bool closeEndsAnswer(const Request&) const override { return true; }
    bool takeAnswer(Request&, const std::string& answer) const override {
        return buildEnhancedResult(*shared, answer);
    }
};

EnhancedSession::EnhancedSession(ProgressView& view)
    : Session(view), search_(std::make_unique<SearchExchange>()) {}

EnhancedSession::~EnhancedSession() = default;

std::unique_ptr<BridgeSession> EnhancedSession::makeSessionBridge(const Request& request) const {
    const Exchange& searchExchange = *search_;
    switch (request.typed.bridge) {
        // The search over a serial line: the same request, ended with CR LF as over
        // TCP/IP; the answer ends at the end-of-answer character, as every serial answer
        // does. A search that gets no answer ends as one over TCP/IP does, with the
        // time-out in its result.
        case BridgeKind::Serial: return makeSerialBridge(searchExchange, "\r\n", true);
        case BridgeKind::TcpIp: return makeTcpBridge(searchExchange);
        default: return makeInvalidBridge();
    }
}

void EnhancedSession::record(errc code, std::string_view description) const {
    request_->reasons.recordEnhanced(code, description);
}

void EnhancedSession::start(ThreadState& shared) {
    // The answer of an earlier request is never taken for this one's.
    shared.session.rawDataReceived.clear();
    search_->section = shared.searchInfoSection;
    search_->company = shared.config.CompanyName;
    search_->shared = &shared;
    Session::start(shared);
}

EnhancedWindow::EnhancedWindow()
    : SessionWindow([](ProgressView& view) { return std::make_unique<EnhancedSession>(view); }) {}

void EnhancedWindow::onLoad() {
    SessionWindow::onLoad();
    caption += " with RDZ";
}

bool buildEnhancedResult(ThreadState& s, const std::string& answer) {
    s.record.clear();
    s.session.startedParsing = platform::clock().now();
    s.patientFound = true;
    s.enhancedResult = enhancedResultFor(answer, s.enhancedError);
    s.session.finishedParsing = platform::clock().now();
    return true;
}

EnhancedWindow& enhancedWindow() {
    return platform::threadObject<EnhancedWindow>();
}

void runEnhancedWindow(ThreadState& shared) noexcept {
    try {
        enhancedWindow().serve(shared);
        ui::toolkit().runModal(enhancedWindow());
    } catch (...) {
        // A session that breaks off ends as one that found nothing; the result is
        // returned all the same.
    }
}

void unloadEnhancedWindow() {
    EnhancedWindow& window = enhancedWindow();
    window.engine().stop();
    window.unload();
}

}  // namespace trellybridge::session
