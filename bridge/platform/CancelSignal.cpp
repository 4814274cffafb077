#include "platform/CancelSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace trellybridge::platform {

CancelSignal::CancelSignal() : descriptor_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

void CancelSignal::raise() noexcept {
    raised_.store(true);
    if (descriptor_ < 0) return;
    std::uint64_t one = 1;
    ssize_t written = ::write(descriptor_, &one, sizeof one);
    (void)written;  // a counter that is already raised stays readable
}

void CancelSignal::reset() noexcept {
    raised_.store(false);
    if (descriptor_ < 0) return;
    std::uint64_t count = 0;
    ssize_t taken = ::read(descriptor_, &count, sizeof count);
    (void)taken;  // nothing to take: it was not raised
}

}  // namespace trellybridge::platform
