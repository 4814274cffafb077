#include "platform/server/RequestFraming.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace trellybridge::platform::server {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::array<std::string_view, 3> kDroppedHeaders = {"range", "if-range", "expect"};

Framing refused(int status, std::string reason) {
    Framing framing;
    framing.state = Framing::State::Refused;
    framing.status = status;
    framing.reason = std::move(reason);
    return framing;
}

bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isVisible(char c) {
    return c > 0x20 && c < 0x7F;
}

std::string lower(std::string_view text) {
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folded;
}

std::string_view trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::size_t parameterCount(std::string_view target) {
    size_t question = target.find('?');
    if (question == std::string_view::npos) return 0;
    std::string_view query = target.substr(question + 1);
    std::size_t count = 0;
    for (size_t start = 0; start <= query.size();) {
        size_t end = std::min(query.find('&', start), query.size());
        if (end > start) ++count;
        start = end + 1;
    }
    return count;
}

// Empty text when the request line is one this service reads: a method, an origin-form
// target of visible characters, and HTTP/1.0 or HTTP/1.1.
std::string requestLineProblem(std::string_view line, const FramingLimits& limits) {
    size_t first = line.find(' ');
    size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos)
        return "the request line is not METHOD TARGET VERSION";
    std::string_view method = line.substr(0, first);
    std::string_view target = line.substr(first + 1, second - first - 1);
    std::string_view version = line.substr(second + 1);
    if (method.empty() || !std::all_of(method.begin(), method.end(), isTokenChar))
        return "the method is not a token";
    if (target.empty() || target[0] != '/' || !std::all_of(target.begin(), target.end(), isVisible))
        return "the target is not a path of visible characters";
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return "the version is not HTTP/1.0 or 1.1";
    if (parameterCount(target) > limits.maxParameters)
        return "more than " + std::to_string(limits.maxParameters) + " query parameters";
    return {};
}

std::optional<std::size_t> contentLength(std::string_view value) {
    if (value.empty() || value.size() > 18 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::size_t length = 0;
    for (char c : value) length = length * 10 + static_cast<std::size_t>(c - '0');
    return length;
}

}  // namespace

Framing frameRequest(std::string_view input, const FramingLimits& limits) {
    // Empty lines before a request are passed over, as HTTP allows.
    size_t start = 0;
    while (input.substr(start, 2) == kLineEnd) start += 2;
    std::string_view rest = input.substr(start);

    size_t lineEnd = rest.find(kLineEnd);
    if (lineEnd == std::string_view::npos ? rest.size() > limits.maxRequestLineBytes
                                          : lineEnd > limits.maxRequestLineBytes)
        return refused(414, "the request line is longer than " +
                                std::to_string(limits.maxRequestLineBytes) + " bytes");
    size_t headEnd = rest.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) {
        if (rest.size() >= limits.maxHeadBytes)
            return refused(431, "the request head is longer than " +
                                    std::to_string(limits.maxHeadBytes) + " bytes");
        return {};
    }
    if (headEnd + 4 > limits.maxHeadBytes)
        return refused(431, "the request head is longer than " +
                                std::to_string(limits.maxHeadBytes) + " bytes");

    std::string_view line = rest.substr(0, lineEnd);
    if (std::string problem = requestLineProblem(line, limits); !problem.empty())
        return refused(400, problem);

    Framing framing;
    framing.request.reserve(headEnd + 4);
    framing.request.append(line).append(kLineEnd);
    std::optional<std::size_t> length;
    std::size_t lines = 0;
    for (size_t at = lineEnd + 2; at < headEnd + 2;) {
        size_t end = rest.find(kLineEnd, at);
        std::string_view header = rest.substr(at, end - at);
        at = end + 2;
        if (++lines > limits.maxHeaderLines)
            return refused(431, "more than " + std::to_string(limits.maxHeaderLines) + " headers");
        size_t colon = header.find(':');
        std::string_view name = header.substr(0, colon);
        if (colon == std::string_view::npos || name.empty() ||
            !std::all_of(name.begin(), name.end(), isTokenChar))
            return refused(400, "a header line is not NAME: VALUE");
        std::string_view value = trimmed(header.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(),
                        [](char c) { return (c < 0x20 && c != '\t') || c == 0x7F; }))
            return refused(400, "a header value holds a control character");
        std::string folded = lower(name);
        if (folded == "transfer-encoding")
            return refused(400, "a body must come with a Content-Length, not a transfer coding");
        if (folded == "content-length") {
            std::optional<std::size_t> given = contentLength(value);
            if (!given || (length && *length != *given))
                return refused(400, "the Content-Length is not one whole number");
            if (*given > limits.maxBodyBytes)
                return refused(413, "the body is longer than " +
                                        std::to_string(limits.maxBodyBytes) + " bytes");
            length = given;
        }
        if (std::find(kDroppedHeaders.begin(), kDroppedHeaders.end(), folded) !=
            kDroppedHeaders.end())
            continue;
        framing.request.append(header).append(kLineEnd);
    }
    framing.request.append(kLineEnd);

    std::size_t bodyStart = headEnd + 4;
    std::size_t bodyLength = length.value_or(0);
    if (rest.size() < bodyStart + bodyLength) return {};
    framing.request.append(rest.substr(bodyStart, bodyLength));
    framing.consumed = start + bodyStart + bodyLength;
    framing.state = Framing::State::Complete;
    return framing;
}

}  // namespace trellybridge::platform::server
