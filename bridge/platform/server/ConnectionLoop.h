// The connections of the service, all on one thread: accepting, the TLS handshake,
// reading each request until it is whole (framing), writing each answer, and every time
// limit in between; whole requests go to a pool of worker threads and their answers come
// back here. A client costs a socket and what it has sent of one request, whatever it
// does: too much is refused, too slow is closed, and past the connection limit the
// longest-idle connection makes room for a new one.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/server/AuditLog.h"
#include "platform/server/FrontEnd.h"
#include "platform/server/HttpExchange.h"

struct ssl_ctx_st;

namespace trellybridge::platform::server {

class ConnectionLoop {
public:
    // `listener` is a listening socket; `tls` null for plain HTTP.
    ConnectionLoop(int listener, ssl_ctx_st* tls, const FrontOptions& options,
                   HttpExchange& exchange, AuditLog& audit, Refusal refusal);
    ~ConnectionLoop();
    ConnectionLoop(const ConnectionLoop&) = delete;
    ConnectionLoop& operator=(const ConnectionLoop&) = delete;

    // Serves until stop(): then accepts no more, closes idle connections, finishes the
    // requests under way (within the time limits) and returns.
    void run();
    // Safe from any thread.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace trellybridge::platform::server
