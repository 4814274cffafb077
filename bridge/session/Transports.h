// The line behind the HTTPS bridge (HttpsBridge.cpp): this build's own one finds
// nothing; tests install fakes.
#pragma once

#include <memory>
#include <string>

namespace trellybridge::session {

class SessionWindow;

class WebServiceTransport {
public:
    virtual ~WebServiceTransport() = default;
    // Calls the web service once; the answer, or empty text.
    virtual std::string readPatientStream(SessionWindow& window) = 0;
};

// The thread's transport (the built-in one unless a test installed another).
WebServiceTransport& webServiceTransport();
void setWebServiceTransport(std::shared_ptr<WebServiceTransport> transport);

}  // namespace trellybridge::session
