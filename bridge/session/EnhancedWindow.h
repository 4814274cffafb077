// The enhanced session window (frmGUI2): the modal progress window in which one
// GetPatientData search runs. It is the session window with three differences: it runs
// only the SERIAL and TCPIP bridges (any other type is shown as invalid), it sends the
// search request and turns the answer into the search result instead of a patient
// record, and it records errors with the enhanced recorder.
#pragma once

#include <string>

#include "session/SessionWindow.h"

namespace trellybridge::session {

class EnhancedWindow : public SessionWindow {
public:
    std::unique_ptr<BridgeSession> makeSessionBridge() const override;
    void record(errc code, std::string_view description = {}) const override;

    // The search section and company as the request gave them; every send builds from
    // these, so that a resend is the same request.
    std::string searchSection;
    std::string searchCompany;

protected:
    void onLoad() override;
};

// Turns a vendor answer into the thread's enhancedResult; the search is then done.
bool buildEnhancedResult(const std::string& answer);

// The thread's enhanced window.
EnhancedWindow& enhancedWindow();
// Shows it modally; returns when it has unloaded, or when the session broke off.
void runEnhancedWindow() noexcept;
// Unloads it if it is still loaded.
void unloadEnhancedWindow();

}  // namespace trellybridge::session
