// A vendor played by the test: a TCP listener on loopback that runs one script per
// connection it accepts, in order. Every wait is bounded.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Sockets.h"

namespace trellybridge::testing {

class ScriptedPeer {
public:
    using Script = std::function<void(sockets::Socket connection)>;
    explicit ScriptedPeer(Script script) : ScriptedPeer(std::vector<Script>{std::move(script)}) {}
    explicit ScriptedPeer(std::vector<Script> scripts);
    ~ScriptedPeer();
    std::uint16_t port() const { return port_; }
    int accepted() const { return accepted_; }

private:
    sockets::Socket listener_;
    std::uint16_t port_;
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// Reads what the client sends until it pauses (the whole request), at most `waitMs`.
std::string readRequest(sockets::Socket connection, int waitMs = 3000);
// Makes the coming close a reset instead of an orderly close.
void resetConnection(sockets::Socket connection);

// Scripts: a vendor that reads the request, waits `delayMs`, sends `segments` 100 ms apart
// and waits for the client to close (what it read in `received`, if given); one that
// reads the request and resets the connection.
ScriptedPeer::Script answers(std::vector<std::string> segments, int delayMs = 0,
                             std::string* received = nullptr);
void resetsAfterRequest(sockets::Socket connection);
// A loopback port nothing listens on.
std::uint16_t closedPort();

}  // namespace trellybridge::testing
