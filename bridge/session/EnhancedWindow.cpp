#include "session/EnhancedWindow.h"

#include "common/Errors.h"
#include "common/RequestState.h"
#include "platform/ThreadContext.h"
#include "session/SearchRequest.h"
#include "session/SerialLine.h"
#include "session/TcpBridge.h"
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
    RequestState* state = nullptr;  // where the sent section and the result are kept

    Message message(Request& request) const override {
        request.config.CompanyName = company;
        SearchRequest built = buildSearchRequest(request.config, section);
        request.config.CompanyName = built.companyName;
        state->searchInfoSection = built.text;
        return {built.text, built.text};
    }
    bool answerComplete(const Request&, const std::string& answer, size_t newFrom) const override {
        return tcp::resultEndArrived(answer, newFrom);
    }
    // The result list is passed on as the vendor sent it, whole or not.
    bool closeEndsAnswer(const Request&) const override { return true; }
    bool takeAnswer(Request&, const std::string& answer) const override {
        return buildEnhancedResult(*state, answer);
    }
};

EnhancedSession::EnhancedSession(ProgressView& view)
    : Session(view), search_(std::make_unique<SearchExchange>()) {}

EnhancedSession::~EnhancedSession() = default;

std::unique_ptr<Bridge> EnhancedSession::makeSessionBridge(const Request& request) const {
    const Exchange& searchExchange = *search_;
    switch (transportOf(request.settings.bridge).value_or(Transport::Files)) {
        // The search over a serial line: the same request, ended with CR LF as over
        // TCP/IP; the answer ends at the end-of-answer character, as every serial answer
        // does. A search that gets no answer ends as one over TCP/IP does, with the
        // time-out in its result.
        case Transport::SerialLine: return makeSerialBridge(searchExchange, "\r\n", true);
        case Transport::Tcp: return makeTcpBridge(searchExchange);
        default: return makeInvalidBridge();
    }
}

void EnhancedSession::record(errc code, std::string_view description) const {
    request_->reasons.recordEnhanced(code, description);
}

void EnhancedSession::start(RequestState& state) {
    // The answer of an earlier request is never taken for this one's.
    state.session.rawDataReceived.clear();
    search_->section = state.searchInfoSection;
    search_->company = state.config.CompanyName;
    search_->state = &state;
    Session::start(state);
}

EnhancedWindow::EnhancedWindow()
    : ProgressWindow([](ProgressView& view) { return std::make_unique<EnhancedSession>(view); }) {}

void EnhancedWindow::onLoad() {
    ProgressWindow::onLoad();
    caption += " with RDZ";
}

bool buildEnhancedResult(RequestState& s, const std::string& answer) {
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

void unloadEnhancedWindow() {
    EnhancedWindow& window = enhancedWindow();
    window.engine().stop();
    window.unload();
}

}  // namespace trellybridge::session
