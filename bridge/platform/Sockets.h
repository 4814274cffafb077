// Client TCP sockets with the semantics of the Windows Sockets 1.1 calls the component
// was written against: a started/ended library count, inet_addr, blocking calls made
// bounded, and lastError() numbers from the Windows Sockets error table. IPv4 only, as
// the component's addresses are dotted IPv4 texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trellybridge::sockets {

using Socket = int;
inline constexpr Socket kInvalidSocket = -1;
inline constexpr std::uint32_t kAddressNone = 0xFFFFFFFFu;  // INADDR_NONE

// Library start and end; cleanup without a matching startup fails (WSANOTINITIALISED).
int startup();
int cleanup();
int startedCount();

// The last failure as a Windows Sockets error number (10061 for a refused connection...).
int lastError();
// The same failure as the system describes it ("Connection refused"); empty when none.
std::string lastErrorText();
void clearLastError();

// A dotted IPv4 text as a 32-bit address in network order, read as inet_addr reads it
// ("127.1" is 127.0.0.1); kAddressNone when invalid.
std::uint32_t inetAddr(std::string_view dotted);
// 127.0.0.0/8.
bool isLoopback(std::uint32_t networkOrderAddress);
// The four bytes of an address in network order, as "a.b.c.d".
std::string dotted(std::uint32_t networkOrderAddress);

Socket createStream();
// Binds to the local address with port 0 (the system picks the port).
bool bindLocal(Socket socket, std::uint32_t localAddress);
// Connects, waiting at most `timeoutMs`; false on refusal, failure or time-out.
// Waits here and below go on after a signal with the time that remains.
bool connect(Socket socket, std::uint32_t remoteAddress, std::uint16_t port, int timeoutMs);
// Sends every byte, waiting at most `timeoutMs` in all for room to send; -1 on failure
// or time-out, else the number of bytes sent.
long send(Socket socket, std::string_view bytes, int timeoutMs);
// 1 when data (or the peer's close) can be read within `timeoutMs`, 0 on time-out, -1 on error.
int waitReadable(Socket socket, int timeoutMs);
// One receive of at most `maximum` bytes; -1 on failure, 0 when the peer closed.
long receive(Socket socket, std::string& bytes, size_t maximum);
bool shutdown(Socket socket, int how);  // how: 1 = sending, 2 = both
bool close(Socket socket);

// Server side, for the vendor simulator and test peers: a listening socket on the
// address and port (0 picks a free port), the port it got, and one accepted connection.
Socket listenOn(std::uint32_t address, std::uint16_t port);
std::uint16_t localPort(Socket socket);
Socket accept(Socket listener);

std::string localHostName();
// The first IPv4 address of a host name or dotted text, in network order.
std::optional<std::uint32_t> resolve(std::string_view hostName);
// The name of an IPv4 address; empty when none is found.
std::string nameOf(std::uint32_t networkOrderAddress);

}  // namespace trellybridge::sockets
