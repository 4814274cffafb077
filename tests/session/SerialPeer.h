// A vendor on the other end of a pseudo-terminal, served from the test thread's own event
// loop: it collects each request up to its end characters, notes when it came, and
// writes back what the test's script answers.
#pragma once

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/SerialPort.h"

namespace trellybridge::testing {

class SerialPeer {
public:
    struct Request {
        int atMs;
        std::string bytes;
    };
    // The reply to a request; empty text sends nothing.
    using Script = std::function<std::string(const std::string& request)>;

    bool open() {
        std::string error;
        if (!line.open(error)) return false;
        watch = ui::EventLoop::current().watch(line.descriptor(), [this] { take(); });
        return true;
    }
    // Names this line as COM port `port` in TRELLYBRIDGE_COM<port>, as a site does.
    void mapAs(int port) {
        variable = "TRELLYBRIDGE_COM" + std::to_string(port);
        ::setenv(variable.c_str(), line.devicePath().c_str(), 1);
    }
    ~SerialPeer() {
        ui::EventLoop::current().unwatch(watch);
        if (!variable.empty()) ::unsetenv(variable.c_str());
    }
    // The vendor goes away: the device hangs up and disappears.
    void hangUp() {
        ui::EventLoop::current().unwatch(watch);
        line.hangUp();
    }

    std::string requestEnd = "\r\n";
    Script script;
    std::vector<Request> requests;
    serial::PseudoTerminal line;

private:
    void take() {
        if (!line.read(pending, 0)) return;
        for (size_t end = pending.find(requestEnd); end != std::string::npos;
             end = pending.find(requestEnd)) {
            std::string request = pending.substr(0, end + requestEnd.size());
            pending.erase(0, request.size());
            requests.push_back({platform::clock().tickCount(), request});
            if (script)
                if (std::string reply = script(request); !reply.empty()) line.write(reply);
        }
    }
    std::string pending, variable;
    int watch = 0;
};

}  // namespace trellybridge::testing
