// The enhanced progress window (frmGUI2): the modal window in which one
// GetPatientData search runs. It is the progress window with three differences: it runs
// only the SERIAL and TCPIP bridges (any other type is shown as invalid), it sends the
// search request and turns the answer into the search result instead of a patient
// record, and it records errors with the enhanced recorder.
#pragma once

#include <memory>
#include <string>

#include "session/ProgressWindow.h"

namespace trellybridge::session {

// The enhanced window's engine: the session engine with its own bridges, recorder and
// search.
class EnhancedSession : public Session {
public:
    explicit EnhancedSession(ProgressView& view);
    ~EnhancedSession() override;
    void start(RequestState& state) override;
    std::unique_ptr<Bridge> makeSessionBridge(const Request& request) const override;
    void record(errc code, std::string_view description = {}) const override;

private:
    // The search this session's request sends, as the request gave it.
    std::unique_ptr<class SearchExchange> search_;
};

class EnhancedWindow : public ProgressWindow {
public:
    EnhancedWindow();

protected:
    void onLoad() override;
};

// Turns a vendor answer into the request's enhancedResult; the search is then done.
bool buildEnhancedResult(RequestState& state, const std::string& answer);

// The thread's enhanced window.
EnhancedWindow& enhancedWindow();
// Unloads it if it is still loaded.
void unloadEnhancedWindow();

}  // namespace trellybridge::session
