#include "platform/EventLoop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Clock.h"
#include "platform/ThreadContext.h"

namespace trellybridge::ui {
namespace {

// Tick arithmetic wraps, as the tick counter itself does; in signed ints it would
// overflow for intervals near the largest one a timer takes.
std::int32_t wrappingAdd(std::int32_t ticks, int ms) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ticks) +
                                     static_cast<std::uint32_t>(ms));
}
std::int32_t wrappingDifference(std::int32_t later, std::int32_t earlier) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) -
                                     static_cast<std::uint32_t>(earlier));
}

// How long, in real time, a virtual-clock loop lets watched descriptors become ready
// before it jumps the clock; while a peer thread of this process still has work to do,
// it waits on in short steps up to the bound.
constexpr int kVirtualSettleMs = 50;
constexpr int kVirtualRecheckMs = 10;
constexpr int kVirtualSettleBoundMs = 5000;

// Whether another thread of this process is running or waiting for a processor. On a
// loaded machine a peer in this process (a simulated vendor) may be ready to answer but
// not yet scheduled; jumping the clock then would let a timeout beat an answer on its way.
bool anotherThreadRunnable() {
    const std::string self = std::to_string(::gettid());
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        if (task.path().filename() == self) continue;
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // "tid (name) S ...": the name may hold spaces and parentheses, the state follows the last
        // ')'.
        size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size()) continue;
        char state = line[close + 2];
        if (state == 'R' || state == 'D') return true;
    }
    return false;
}

}  // namespace

Timer::Timer(std::function<void()> onTick) : onTick_(std::move(onTick)) {
    EventLoop::current().timers_.push_back(this);
}

Timer::~Timer() {
    auto& timers = EventLoop::current().timers_;
    timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
}

void Timer::restart() {
    dueAt_ = wrappingAdd(EventLoop::current().now(), interval_);
}

void Timer::restartFrom(std::int32_t startTick) {
    dueAt_ = wrappingAdd(startTick, interval_);
}

void Timer::setInterval(int milliseconds) {
    interval_ = std::max(0, milliseconds);
    if (enabled_) restart();
}

void Timer::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled_) restart();
}

EventLoop& EventLoop::current() {
    return platform::threadContext().eventLoop;
}

std::int32_t EventLoop::now() const {
    return platform::clock().tickCount();
}

int EventLoop::watch(int fd, std::function<void()> onReady, std::function<void()> onHangUp) {
    watches_.push_back({nextHandle_, fd, std::move(onReady), std::move(onHangUp)});
    return nextHandle_++;
}

void EventLoop::post(std::function<void()> work) {
    posted_.push_back(std::move(work));
}

bool EventLoop::watching(int handle) const {
    return std::any_of(watches_.begin(), watches_.end(),
                       [handle](const Watch& w) { return w.handle == handle; });
}

void EventLoop::unwatch(int handle) {
    std::erase_if(watches_, [handle](const Watch& w) { return w.handle == handle; });
}

std::vector<int> EventLoop::watchedDescriptors() const {
    std::vector<int> fds;
    for (const Watch& w : watches_) fds.push_back(w.fd);
    return fds;
}

int EventLoop::millisecondsToNextTimer() const {
    int wait = -1;
    std::int32_t current = now();
    for (const Timer* timer : timers_) {
        // A timer with interval 0 never fires, as a window timer of interval 0 does not.
        if (!timer->enabled_ || timer->interval_ <= 0) continue;
        int remaining = std::max(0, static_cast<int>(wrappingDifference(timer->dueAt_, current)));
        wait = wait < 0 ? remaining : std::min(wait, remaining);
    }
    return wait;
}

void EventLoop::fireDueTimers() {
    // Timers may be created, destroyed or changed by a tick: fire from a snapshot and
    // skip any that went away.
    std::vector<Timer*> snapshot = timers_;
    for (Timer* timer : snapshot) {
        if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) continue;
        if (!timer->enabled_ || timer->interval_ <= 0) continue;
        if (wrappingDifference(now(), timer->dueAt_) < 0) continue;
        timer->restart();
        if (timer->onTick_) timer->onTick_();
    }
}

bool EventLoop::runOnce(int maxWaitMs) {
    int timerWait = posted_.empty() ? millisecondsToNextTimer() : 0;
    int wait = timerWait;
    if (maxWaitMs >= 0) wait = wait < 0 ? maxWaitMs : std::min(wait, maxWaitMs);
    if (wait < 0 && watches_.empty()) return false;

    platform::Clock& clock = platform::clock();
    std::vector<pollfd> fds;
    for (const Watch& w : watches_) fds.push_back({w.fd, POLLIN, 0});
    int pollWait = wait;
    if (clock.isVirtual()) pollWait = (wait != 0 && !fds.empty()) ? kVirtualSettleMs : 0;
    int ready = ::poll(fds.data(), fds.size(), pollWait);
    if (clock.isVirtual() && wait > 0 && !fds.empty())
        for (int settled = kVirtualSettleMs;
             ready == 0 && settled < kVirtualSettleBoundMs && anotherThreadRunnable();
             settled += kVirtualRecheckMs)
            ready = ::poll(fds.data(), fds.size(), kVirtualRecheckMs);
    if (ready == 0 && clock.isVirtual() && wait > 0) clock.advance(wait);

    if (ready > 0) {
        std::vector<Watch> snapshot = watches_;
        for (size_t i = 0; i < fds.size(); ++i)
            if (fds[i].revents != 0) dispatchReady(snapshot[i], fds[i].revents);
    }
    std::vector<std::function<void()>> posted;
    posted.swap(posted_);
    for (auto& work : posted) work();
    fireDueTimers();
    return true;
}

void EventLoop::dispatchReady(const Watch& watch, short events) {
    if (!watching(watch.handle)) return;
    if (events & (POLLIN | POLLHUP | POLLERR) && watch.onReady) watch.onReady();
    // poll() reports a hang-up, an error or a closed descriptor for as long as it lasts:
    // watching on would wake the loop at once, again and again.
    if (!(events & (POLLHUP | POLLERR | POLLNVAL)) || !watching(watch.handle)) return;
    unwatch(watch.handle);
    if (watch.onHangUp) watch.onHangUp();
}

}  // namespace trellybridge::ui
