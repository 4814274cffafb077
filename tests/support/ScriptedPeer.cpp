#include "support/ScriptedPeer.h"

#include <sys/socket.h>

#include <chrono>

namespace trellybridge::testing {

ScriptedPeer::ScriptedPeer(std::vector<Script> scripts) {
    listener_ = sockets::listenOn(sockets::inetAddr("127.0.0.1"), 0);
    port_ = sockets::localPort(listener_);
    thread_ = std::thread([this, scripts = std::move(scripts)] {
        for (const Script& script : scripts) {
            if (sockets::waitReadable(listener_, 5000) != 1) return;
            sockets::Socket connection = sockets::accept(listener_);
            ++accepted_;
            script(connection);
            sockets::close(connection);
        }
    });
}

ScriptedPeer::~ScriptedPeer() {
    thread_.join();
    sockets::close(listener_);
}

std::string readRequest(sockets::Socket connection, int waitMs) {
    std::string request, chunk;
    int wait = waitMs;
    while (sockets::waitReadable(connection, wait) == 1 &&
           sockets::receive(connection, chunk, 10000) > 0) {
        request += chunk;
        wait = 200;  // the rest of a request follows at once
    }
    return request;
}

void resetConnection(sockets::Socket connection) {
    linger abort{1, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

ScriptedPeer::Script answers(std::vector<std::string> segments, int delayMs,
                             std::string* received) {
    return [=](sockets::Socket connection) {
        std::string request = readRequest(connection);
        if (received) *received = request;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        for (const std::string& segment : segments) {
            sockets::send(connection, segment, 5000);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        readRequest(connection, 5000);
    };
}

void resetsAfterRequest(sockets::Socket connection) {
    readRequest(connection);
    resetConnection(connection);
}

std::uint16_t closedPort() {
    sockets::Socket listener = sockets::listenOn(sockets::inetAddr("127.0.0.1"), 0);
    std::uint16_t port = sockets::localPort(listener);
    sockets::close(listener);
    return port;
}

}  // namespace trellybridge::testing
