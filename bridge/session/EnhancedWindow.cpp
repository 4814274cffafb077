#include "session/EnhancedWindow.h"

#include "common/Errors.h"
#include "session/Bridges.h"
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

const BridgeSession& tcpSearch() {
    static const std::unique_ptr<BridgeSession> bridge = makeTcpBridge(searchExchange());
    return *bridge;
}

// The search over a serial line: the same request, ended with CR LF as over TCP/IP; the
// answer ends at the end-of-answer character, as every serial answer does. A search that
// gets no answer ends as one over TCP/IP does, with the time-out in its result.
class SerialSearch : public BridgeSession {
public:
    SerialSearch() : line_(makeSerialBridge(searchExchange(), "\r\n")) {}
    RunLoop load(SessionWindow& window) const override { return line_->load(window); }
    void step(SessionWindow& window) const override { line_->step(window); }
    void exhausted(SessionWindow& window) const override {
        window.record(errc::HostTimedOut);
        line_->exhausted(window);
    }
    bool closePort(SessionWindow& window) const override { return line_->closePort(window); }
    void close(SessionWindow& window) const override { line_->close(window); }

private:
    std::unique_ptr<BridgeSession> line_;
};

const BridgeSession& serialSearch() {
    static const SerialSearch bridge;
    return bridge;
}

}  // namespace

const BridgeSession& EnhancedWindow::sessionBridge() const {
    switch (bridgeKind(config())) {
        case BridgeKind::Serial: return serialSearch();
        case BridgeKind::TcpIp: return tcpSearch();
        default: return invalidBridge();
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
    window.SerialTimer.setEnabled(false);
    window.NetworkTimer.setEnabled(false);
    releaseSerialLine();
    window.unload();
}

}  // namespace trellybridge::session
