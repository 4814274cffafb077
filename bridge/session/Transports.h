// The lines behind the SERIAL and HTTPS bridges (SerialBridge.cpp, HttpsBridge.cpp):
// this build's own ones find nothing; tests install fakes.
#pragma once

#include <memory>
#include <string>

namespace trellybridge::session {

class SessionWindow;

class SerialTransport {
public:
    virtual ~SerialTransport() = default;
    // Opens the port when needed and sends the request (one step tick).
    virtual void openSerialPort(SessionWindow& window) = 0;
    // True when the port is closed and the session may end.
    virtual bool closeSerialPort(SessionWindow& window) = 0;
    // Bytes waiting in the receive buffer, and up to InputLength of them.
    virtual int inBufferCount() = 0;
    virtual std::string input() = 0;
};

class WebServiceTransport {
public:
    virtual ~WebServiceTransport() = default;
    // Calls the web service once; the answer, or empty text.
    virtual std::string readPatientStream(SessionWindow& window) = 0;
};

// The thread's transports (built-in ones unless a test installed others).
SerialTransport& serialTransport();
WebServiceTransport& webServiceTransport();
void setSerialTransport(std::shared_ptr<SerialTransport> transport);
void setWebServiceTransport(std::shared_ptr<WebServiceTransport> transport);

}  // namespace trellybridge::session
