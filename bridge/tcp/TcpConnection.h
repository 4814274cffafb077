// The TCP connection to the vendor system, one per thread, with the error texts of the
// socket library. Every wait is bounded: see waitBoundMs().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Sockets.h"

namespace trellybridge::tcp {

struct TcpConnectionState {
    sockets::Socket socketHandle = sockets::kInvalidSocket;
    bool connected = false;
    std::string localIPText, remoteIPText;
    std::int32_t portNumber = 0;
    std::uint32_t localAddress = 0, remoteAddress = 0;
    std::string lastErrorText;
    int libraryStarts = 0;  // opens whose library start no close has ended yet
};

TcpConnectionState& connectionState();

// How long a connect, a whole answer or the drain of a close may take: the session's
// time-out (SerialTimeout ticks of TimeDelay ms), at least one second, at most two minutes.
int waitBoundMs();

// Opens a connection from the session's localIP to its remoteIP on the port held in
// TCPRemotePorts; records 320 and closes what it created when it cannot.
bool tcpOpenConnection();
// Sends the request followed by CR LF.
bool tcpSendRequest(std::string_view request);
bool SendData(std::string_view data);
// Data (or the peer's close) can be read within one second.
bool tcpDataWaiting();
// One receive of at most 10000 bytes; an empty result means the peer closed.
bool RecvData(std::string& data, std::int32_t& length);
enum class AnswerRead { Complete, Failed, TooLarge };
// Whether the answer is whole, given the answer so far and where the newest bytes start.
using AnswerEnd = std::function<bool(const std::string& answer, size_t newFrom)>;
// Reads and appends until `complete` says the answer is whole, the peer closes, or the
// wait bound runs out. Failed when nothing could be read; TooLarge when the answer would
// pass maxAnswerBytes().
AnswerRead readAnswer(std::string& answer, const AnswerEnd& complete);
// Whether the closing "</RESULT>" (any case) is in the answer, given where its newest
// bytes start: the end of an enhanced answer.
bool resultEndArrived(const std::string& answer, size_t newFrom);
// Receives and appends until "</RESULT>" (any case) arrives, the peer closes, or the
// wait bound runs out; false when nothing could be read or the answer is too large.
bool RecvResult(std::string& data, std::int32_t& length);
// mode 1 closes normally unless {TCP FORCE} is in force; any other mode forces.
bool tcpCloseConnection(int mode);
bool tcpStartup();
bool tcpCleanup();
// ": " and the text for a socket-library error number; also kept in lastErrorText.
std::string tcpSetLastErrorCode(std::int32_t number);
// The last socket failure as the system describes it ("Connection refused"), for people.
std::string systemErrorText();

}  // namespace trellybridge::tcp
