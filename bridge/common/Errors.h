// The error table and the two recorders that append error elements to the thread's
// error list, which the host reads as ErrorCodes and ErrorDescriptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trellybridge {

// The codes the component records. Numbers are never reused.
namespace errc {
inline constexpr std::int16_t WebServiceUndetermined = 2;
inline constexpr std::int16_t PageTimedOut = 20;
inline constexpr std::int16_t UrlNotParsed = 21;
inline constexpr std::int16_t SaveWriteFailed = 22;
inline constexpr std::int16_t SaveCreateFailed = 23;
inline constexpr std::int16_t RedirectWithoutDestination = 24;
inline constexpr std::int16_t RedirectWithDestination = 25;
inline constexpr std::int16_t Hl7ParseFailed = 101;
inline constexpr std::int16_t Hl7Parser = 102;
inline constexpr std::int16_t XmlParseFailed = 111;
inline constexpr std::int16_t XmlParser = 112;
inline constexpr std::int16_t InvalidEofRequest = 300;
// The same number for any other setting that cannot be used: "ORVEL Parameter: " + why.
inline constexpr std::int16_t InvalidParameter = InvalidEofRequest;
inline constexpr std::int16_t InvalidCompanyNumber = 310;
inline constexpr std::int16_t MissingCompanyNumber = 311;
inline constexpr std::int16_t PortOpenFailed = 320;
inline constexpr std::int16_t SendFailed = 321;
inline constexpr std::int16_t SendWithoutConnection = 322;
inline constexpr std::int16_t ReceiveWithoutConnection = 323;
inline constexpr std::int16_t ReceiveFailed = 324;
inline constexpr std::int16_t ClosePortFailed = 325;
inline constexpr std::int16_t ReceivingDataFailed = 327;
inline constexpr std::int16_t HostTimedOut = 328;
inline constexpr std::int16_t SerialTimerFailed = 330;
inline constexpr std::int16_t LoadTcpSettingsFailed = 332;
inline constexpr std::int16_t ShutdownFailed = 340;
inline constexpr std::int16_t SocketCloseFailed = 341;
inline constexpr std::int16_t SocketEndFailed = 342;
inline constexpr std::int16_t ForcedShutdown = 343;
inline constexpr std::int16_t InsuranceLogFailed = 400;
inline constexpr std::int16_t DebugLogFailed = 401;
inline constexpr std::int16_t SerialCloseFailed = 8012;
}  // namespace errc

enum class Recorder { Standard, Enhanced };

// The table's message for a code; nullopt for a code outside the table, whose message
// is then the caller's description.
std::optional<std::string> tableMessage(std::int16_t code, std::string_view description,
                                        Recorder recorder);
// The message a recorder computes: the table's, else the description.
std::string errorMessage(std::int16_t code, std::string_view description, Recorder recorder);
// One element of the error list, CR LF included; nothing is escaped.
std::string errorElement(std::int16_t code, std::string_view message);

// Records for the single-patient request; appends only while no attempt is running.
void recordError(std::int16_t code, std::string_view description = {});
// Records for the enhanced request; keeps the message in enhancedError and always
// appends. Returns empty text.
std::string recordEnhancedError(std::int16_t code, std::string_view description = {});
void appendErrorElement(std::int16_t code, std::string_view message);
void appendEnhancedErrorElement(std::int16_t code, std::string_view message);

}  // namespace trellybridge
