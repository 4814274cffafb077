// Where one HTTP/1.1 request ends in the bytes a client sent, under hard limits, before
// anything parses it: the head must end within `maxHeadBytes`, a body is taken only with
// a Content-Length within `maxBodyBytes`, and chunked bodies are refused. Headers the
// service never honours (Range, If-Range, Expect) are left out of the request handed on,
// so that no reply can be multiplied or held back by them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trellybridge::platform::server {

struct FramingLimits {
    std::size_t maxHeadBytes =
        std::size_t{16} * 1024;              // request line and headers, with their line ends
    std::size_t maxRequestLineBytes = 8192;  // the method, the target and the version
    std::size_t maxHeaderLines = 100;
    std::size_t maxBodyBytes = std::size_t{8} * 1024;
    std::size_t maxParameters = 100;  // query parameters in the target
};

struct Framing {
    enum class State {
        Incomplete,  // more bytes are needed
        Complete,    // `request` holds one request; `consumed` bytes of the input were it
        Refused,     // `status` and `reason` say why; the connection is closed after the answer
    };
    State state = State::Incomplete;
    std::size_t consumed = 0;
    std::string request;  // the head (without the dropped headers) and the body
    int status = 0;       // 400, 413, 414 or 431 when refused
    std::string reason;
};

// Looks at the start of `input` for one whole request.
Framing frameRequest(std::string_view input, const FramingLimits& limits);

}  // namespace trellybridge::platform::server
