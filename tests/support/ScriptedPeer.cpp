#include "support/ScriptedPeer.h"

#include <sys/socket.h>

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

}  // namespace trellybridge::testing
