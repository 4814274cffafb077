// The error table and the elements of the error list, which the host reads as ErrorCodes
// and ErrorDescriptions; a request records into it through its Reasons.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trellybridge {

// The codes the component records, each with its number. Numbers are never reused.
#define TRELLYBRIDGE_ERROR_CODES(X)                                                   \
    /* The socket library's own failure (its start or end); the description is the */ \
    /* library's error text. */                                                       \
    X(SocketLibrary, -1)                                                              \
    X(WebServiceUndetermined, 2)                                                      \
    X(PageTimedOut, 20)                                                               \
    X(UrlNotParsed, 21)                                                               \
    X(SaveWriteFailed, 22)                                                            \
    X(SaveCreateFailed, 23)                                                           \
    X(RedirectWithoutDestination, 24)                                                 \
    X(RedirectWithDestination, 25)                                                    \
    X(Hl7ParseFailed, 101)                                                            \
    X(Hl7Parser, 102)                                                                 \
    X(XmlParseFailed, 111)                                                            \
    X(XmlParser, 112)                                                                 \
    /* Any setting that cannot be used, an invalid EOFRequest among them: */          \
    /* "ORVEL Parameter: " + why. */                                                  \
    X(InvalidParameter, 300)                                                          \
    X(InvalidCompanyNumber, 310)                                                      \
    X(MissingCompanyNumber, 311)                                                      \
    X(PortOpenFailed, 320)                                                            \
    X(SendFailed, 321)                                                                \
    X(SendWithoutConnection, 322)                                                     \
    X(ReceiveWithoutConnection, 323)                                                  \
    X(ReceiveFailed, 324)                                                             \
    X(ClosePortFailed, 325)                                                           \
    X(ReceivingDataFailed, 327)                                                       \
    X(HostTimedOut, 328)                                                              \
    X(SerialTimerFailed, 330)                                                         \
    X(LoadTcpSettingsFailed, 332)                                                     \
    X(ShutdownFailed, 340)                                                            \
    X(SocketCloseFailed, 341)                                                         \
    X(SocketEndFailed, 342)                                                           \
    X(ForcedShutdown, 343)                                                            \
    X(InsuranceLogFailed, 400)                                                        \
    X(DebugLogFailed, 401)                                                            \
    X(SerialCloseFailed, 8012)

enum class errc : std::int16_t {
#define TRELLYBRIDGE_ERROR_ENUMERATOR(name, number) name = (number),
    TRELLYBRIDGE_ERROR_CODES(TRELLYBRIDGE_ERROR_ENUMERATOR)
#undef TRELLYBRIDGE_ERROR_ENUMERATOR
};

// The number the error list shows.
constexpr int errorNumber(errc code) {
    return static_cast<int>(code);
}

enum class Recorder { Standard, Enhanced };

// The table's message for a code; nullopt for a code outside the table, whose message
// is then the caller's description.
std::optional<std::string> tableMessage(errc code, std::string_view description, Recorder recorder);
// The message a recorder computes: the table's, else the description.
std::string errorMessage(errc code, std::string_view description, Recorder recorder);
// One element of the error list, CR LF included; nothing is escaped.
std::string errorElement(errc code, std::string_view message);

struct ErrorListEntry {
    int code = 0;
    std::string message;
    bool operator==(const ErrorListEntry&) const = default;
};
// The entries of an error list as errorElement writes them, oldest first. A message is
// not escaped but stands twice in its element, which tells it apart: quotes, "\">" or
// "</error>" inside a message do not end it. Text that is no element ends the reading.
std::vector<ErrorListEntry> errorListEntries(std::string_view list);

// An error a step that never touches the thread (a parser, a request builder) hands
// back; its caller records it (Reasons::record), in order.
struct ErrorNotice {
    errc code;
    std::string description;
    bool operator==(const ErrorNotice&) const = default;
};
using ErrorNotices = std::vector<ErrorNotice>;

}  // namespace trellybridge
