// The override keywords: bracketed words in the HTTPSSubjectCN setting that adjust how
// a site's answers are read and its requests built. A keyword is in force when the
// upper-cased setting contains it, braces included; nothing is cached.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trellybridge {

struct BridgeConfiguration;

namespace keyword {
inline constexpr std::string_view RemoveQuotes = "{REMOVE QUOTES}";
inline constexpr std::string_view RemoveExtraPhoneNumbers = "{REMOVE EXTRA PHONE NUMBERS}";
inline constexpr std::string_view SuppressCompanyNumber = "{SUPPRESS COMPANY NUMBER}";
inline constexpr std::string_view NoPatientSsn = "{NO PATIENT SSN}";
inline constexpr std::string_view NoDoctor = "{NO DOCTOR}";
inline constexpr std::string_view CopyPatientAddressToGuarantor = "{COPY PT ADDRESS TO GT}";
inline constexpr std::string_view OneInsuranceOnly = "{ONE INS ONLY}";
inline constexpr std::string_view NoInsurance = "{NO INS}";
inline constexpr std::string_view UseIn2_61ForPolicy = "{USE IN2.61 FOR POLICY}";
inline constexpr std::string_view UseIn1_9ForInsuranceName = "{USE IN1.9 FOR INSURANCE NAME}";
inline constexpr std::string_view UseIn1ForGuarantorNameOnly = "{USE IN1 FOR GT1 NAME ONLY}";
inline constexpr std::string_view UseIn1ForGuarantor = "{USE IN1 FOR GT1}";
inline constexpr std::string_view UsePidForGuarantor = "{USE PID FOR GT1}";
inline constexpr std::string_view RelationshipCodes = "{M}";
inline constexpr std::string_view Kxra = "{KXRA}";
inline constexpr std::string_view BypassPidCheckForAstm = "{BYPASS PID CHECK FOR ASTM}";
inline constexpr std::string_view ChangeLfToCr = "{CHANGE LF TO CR}";
inline constexpr std::string_view Hl7UniqueMsh10 = "{HL7 UNIQUE MSH-10}";
inline constexpr std::string_view Hl7EntityMrn = "{HL7 ENTITY MRN}";
inline constexpr std::string_view PurgePatientData = "{PURGE PAT DATA}";
inline constexpr std::string_view TcpForce = "{TCP FORCE}";
// The TCP/IP bridge frames its request and reads its answer as MLLP blocks.
inline constexpr std::string_view Mllp = "{MLLP}";
}  // namespace keyword

// Is the keyword written anywhere in the configuration's keyword text?
bool inForce(const BridgeConfiguration& config, std::string_view keyword);
// Could any keyword be in force? False when the keyword text holds no "{" at all, so that
// a reader asking for many can ask this once.
bool anyKeyword(const BridgeConfiguration& config);
// The value of {LOCAL IP:value}, when given.
std::optional<std::string> localIpKeyword(const BridgeConfiguration& config);

}  // namespace trellybridge
