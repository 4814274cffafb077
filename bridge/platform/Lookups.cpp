#include "platform/Lookups.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace trellybridge::sockets {
namespace {

// Look-ups still running after their caller gave up; a resolver that hangs for every
// name must not collect threads without end.
std::atomic<int> lookupsInFlight{0};
constexpr int kMaxLookupsInFlight = 8;

template <typename Result>
struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Result result{};
};

// Runs `lookup` on its own thread and waits at most `boundMs` for it. The thread owns
// its share of the state, so an abandoned look-up finishes harmlessly on its own.
template <typename Result, typename Lookup>
Result within(int boundMs, Lookup lookup) {
    if (lookupsInFlight.fetch_add(1) >= kMaxLookupsInFlight) {
        --lookupsInFlight;
        return Result{};
    }
    auto pending = std::make_shared<Pending<Result>>();
    try {
        std::thread([pending, lookup = std::move(lookup)] {
            Result result = lookup();
            {
                std::lock_guard lock(pending->mutex);
                pending->result = std::move(result);
                pending->finished = true;
            }
            pending->done.notify_all();
            --lookupsInFlight;
        }).detach();
    } catch (const std::system_error&) {
        --lookupsInFlight;
        return Result{};
    }
    std::unique_lock lock(pending->mutex);
    pending->done.wait_for(lock, std::chrono::milliseconds(boundMs < 0 ? 0 : boundMs),
                           [&] { return pending->finished; });
    return pending->finished ? pending->result : Result{};
}

}  // namespace

std::optional<std::uint32_t> resolveWithin(std::string_view hostName, int boundMs) {
    std::string name(hostName);
    in_addr numeric{};
    if (::inet_pton(AF_INET, name.c_str(), &numeric) == 1) return numeric.s_addr;
    return within<std::optional<std::uint32_t>>(boundMs, [name] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        std::optional<std::uint32_t> address;
        if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found) {
            address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
            ::freeaddrinfo(found);
        }
        return address;
    });
}

std::string nameOfWithin(std::uint32_t address, int boundMs) {
    return within<std::string>(boundMs, [address] {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = address;
        char host[NI_MAXHOST] = {};
        if (::getnameinfo(reinterpret_cast<sockaddr*>(&in), sizeof in, host, sizeof host, nullptr,
                          0, NI_NAMEREQD) != 0)
            return std::string();
        return std::string(host);
    });
}

}  // namespace trellybridge::sockets
