// The simulator on a serial line: a pseudo-terminal whose device the component opens as
// its COM port. A request is what arrives until the line has been quiet for a moment,
// since each format and site ends its requests with other characters.
#include <chrono>

#include "VendorSimulator.h"

namespace trellybridge::vendorsim {
namespace {

constexpr int kIdleMs = 100;                // how often an idle line looks at the stop flag
constexpr int kQuietMs = 150;               // a pause this long ends a request
constexpr std::size_t kMaxRequest = 65536;  // a line that never pauses is cut here

}  // namespace

std::string VendorSimulator::serveSerialLine(std::string& error) {
    auto line = std::make_unique<serial::PseudoTerminal>();
    if (!line->open(error)) return {};
    line_ = std::move(line);
    say("serial line at " + line_->devicePath() + " (" + formatName(options_.format) + ")");
    lineServer_ = std::thread([this] { serveLine(); });
    return line_->devicePath();
}

void VendorSimulator::serveLine() {
    Fault fault = options_.fault;
    while (!stopping_) {
        std::string query;
        if (!line_->read(query, kIdleMs)) continue;
        while (!stopping_ && query.size() < kMaxRequest && line_->read(query, kQuietMs)) {
        }
        {
            std::lock_guard lock(mutex_);
            queries_.push_back(query);
        }
        if (fault == Fault::Silent) continue;
        std::string reply = this->reply(query, fault, true);
        if (fault == Fault::Slow) pause(options_.delayMs, stopping_);
        if (fault == Fault::Split || fault == Fault::HangUp) {
            size_t half = reply.size() / 2;
            line_->write(reply.substr(0, half));
            if (fault == Fault::HangUp) {
                line_->hangUp();
                say("the line hung up");
                return;
            }
            pause(options_.splitDelayMs, stopping_);
            reply = reply.substr(half);
        }
        line_->write(reply);
    }
}

}  // namespace trellybridge::vendorsim
