// The TCP connection to the vendor system, with the error texts of the socket library.
// Every wait is bounded: see ConnectionLimits::waitBoundMs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/Expected.h"
#include "common/Reasons.h"
#include "common/RequestSettings.h"
#include "platform/Sockets.h"

namespace trellybridge::tcp {

// How a connection ends: Normal stops sending and drains what the vendor still sends
// (unless {TCP FORCE} made every close forced); Forced drops it at once.
enum class CloseMode { Normal, Forced };

// What a connection takes from the request's settings, read once when it is made.
struct ConnectionLimits {
    // How long a connect, a whole answer or the drain of a close may take.
    int waitBoundMs = 1000;
    bool forceClose = false;   // {TCP FORCE}: every close is forced
    bool pinnedLocal = false;  // {LOCAL IP:...}: the local address must be bound
};

// The session's time-out (SerialTimeout ticks of TimeDelay ms), at least one second, at
// most two minutes; and the keywords that change how a connection opens and closes.
ConnectionLimits connectionLimits(const RequestSettings& settings);

// A port list item as a port number: 1 to 65535, or 0 when it is no port.
std::int32_t portNumberOf(std::string_view text);

// How reading an answer ended: its end arrived; the vendor closed, reset or paused past the
// wait bound after some of it (Unfinished) or before any (Closed); nothing could be read;
// or it grew past maxAnswerBytes().
enum class AnswerRead { Complete, Unfinished, Closed, Failed, TooLarge };
// Whether the answer is whole, given the answer so far and where the newest bytes start.
using AnswerEnd = std::function<bool(const std::string& answer, size_t newFrom)>;

// One TCP connection to the vendor system, with the socket library's bookkeeping. Its
// owner (the TCP session, a test) keeps it between the steps of a request.
class Connection {
public:
    explicit Connection(ConnectionLimits limits = {}) : limits_(limits) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setLimits(ConnectionLimits limits) { limits_ = limits; }
    // Where the connection's errors go: the request's; a connection told nowhere records
    // none.
    void reportTo(const Reasons& reasons) { reasons_ = reasons; }

    // Opens a connection from `localIP` to `remoteIP` on `port` (0: no port). When it
    // cannot, it closes what it created and fails with 320 and the system's reason
    // ("Connection refused"; empty when the system gave none), which its caller records.
    Expected<void> open(std::string_view localIP, std::string_view remoteIP, std::int32_t port);
    bool connected() const { return connected_; }
    // The socket while one is open, for waiting on it; kInvalidSocket otherwise.
    sockets::Socket socket() const { return socket_; }
    std::int32_t port() const { return port_; }

    // Sends the request followed by CR LF.
    bool sendRequest(std::string_view request);
    bool sendData(std::string_view data);
    // Data (or the peer's close) can be read within one second.
    bool dataWaiting() const;
    // One receive of at most 10000 bytes; an empty result means the peer closed.
    bool recvData(std::string& data, std::int32_t& length);
    // Reads and appends until `complete` says the answer is whole, the peer closes or
    // resets, the wait bound runs out, or, once the answer has begun, a second passes
    // without more of it.
    AnswerRead readAnswer(std::string& answer, const AnswerEnd& complete);
    // Receives and appends until "</RESULT>" (any case) arrives, the peer closes, or the
    // wait bound runs out; false when nothing could be read or the answer is too large.
    bool recvResult(std::string& data, std::int32_t& length);
    // Closes the socket and ends the library start of its open; false when that failed.
    bool close(CloseMode mode);

    // The text of the last socket-library error this connection met (": ...").
    const std::string& lastErrorText() const { return lastErrorText_; }
    // Why the last read that Failed did, as the system describes it; empty when it gave
    // no reason.
    const std::string& readFailure() const { return readFailure_; }

private:
    Expected<void> openFailed();
    void closeSocket();
    bool receiveFailed(std::string& data, std::int32_t& length);
    void record(errc code, std::string_view description = {}) const;

    ConnectionLimits limits_;
    std::optional<Reasons> reasons_;
    sockets::Socket socket_ = sockets::kInvalidSocket;
    bool connected_ = false;
    std::int32_t port_ = 0;
    std::string lastErrorText_;
    std::string readFailure_;
    int libraryStarts_ = 0;  // opens whose library start no close has ended yet
};

// Whether the closing "</RESULT>" (any case) is in the answer, given where its newest
// bytes start: the end of an enhanced answer.
bool resultEndArrived(const std::string& answer, size_t newFrom);
bool tcpStartup();
bool tcpCleanup();
// ": " and the text for a socket-library error number.
std::string tcpSetLastErrorCode(std::int32_t number);
// The socket failure just met as the system describes it ("Connection refused"), for people.
std::string systemErrorText();

}  // namespace trellybridge::tcp
