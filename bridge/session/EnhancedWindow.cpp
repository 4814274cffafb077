#include "session/EnhancedWindow.h"

#include "common/Errors.h"
#include "session/SearchRequest.h"
#include "session/SerialLine.h"
#include "session/SessionContext.h"
#include "session/TcpSession.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::session {
namespace {

// The search over TCP/IP: the search request without the end-of-request characters
// (the send adds CR LF), read until the closing result tag, turned into the result.
class SearchExchange : public Exchange {
public:
    Request request(SessionWindow& window) const override {
        const auto& enhanced = static_cast<const EnhancedWindow&>(window);
        config().CompanyName = enhanced.searchCompany;
        SearchRequest built = buildSearchRequest(config(), enhanced.searchSection);
        config().CompanyName = built.companyName;
        state().searchInfoSection = built.text;
        return {built.text, built.text};
    }
    bool answerComplete(const std::string& answer, size_t newFrom) const override {
        return tcp::resultEndArrived(answer, newFrom);
    }
    bool takeAnswer(SessionWindow&, const std::string& answer) const override {
        return buildEnhancedResult(answer);
    }
};

const Exchange& searchExchange() {
    static const SearchExchange exchange;
    return exchange;
}

}  // namespace

std::unique_ptr<BridgeSession> EnhancedWindow::makeSessionBridge() const {
    switch (bridgeKind(config())) {
        // The search over a serial line: the same request, ended with CR LF as over
        // TCP/IP; the answer ends at the end-of-answer character, as every serial answer
        // does. A search that gets no answer ends as one over TCP/IP does, with the
        // time-out in its result.
        case BridgeKind::Serial: return makeSerialBridge(searchExchange(), "\r\n", true);
        case BridgeKind::TcpIp: return makeTcpBridge(searchExchange());
        default: return makeInvalidBridge();
    }
}

void EnhancedWindow::record(errc code, std::string_view description) const {
    recordEnhancedError(code, description);
}

void EnhancedWindow::onLoad() {
    // The answer of an earlier request is never taken for this one's.
    session().rawDataReceived.clear();
    searchSection = state().searchInfoSection;
    searchCompany = config().CompanyName;
    SessionWindow::onLoad();
    caption += " with RDZ";
}

bool buildEnhancedResult(const std::string& answer) {
    ThreadState& s = state();
    s.record.clear();
    s.session.startedParsing = platform::clock().now();
    s.patientFound = true;
    s.enhancedResult = enhancedResultFor(answer, s.enhancedError);
    s.session.finishedParsing = platform::clock().now();
    return true;
}

EnhancedWindow& enhancedWindow() {
    thread_local EnhancedWindow window;
    return window;
}

void runEnhancedWindow() noexcept {
    try {
        ui::toolkit().runModal(enhancedWindow());
    } catch (...) {
        // A session that breaks off ends as one that found nothing; the result is
        // returned all the same.
    }
}

void unloadEnhancedWindow() {
    EnhancedWindow& window = enhancedWindow();
    window.PortTimer.setEnabled(false);
    window.NetworkTimer.setEnabled(false);
    window.releaseBridge();
    window.unload();
}

}  // namespace trellybridge::session
