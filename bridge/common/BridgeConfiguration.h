// Every setting of a request, under the GetPatient argument names, after normalisation.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "trellybridge/Fields.h"
#include "trellybridge/Variant.h"

namespace trellybridge {

// Stored for a required setting that the caller left empty.
inline constexpr const char* kInvalidMarker = "<INVALID!>";

struct BridgeConfiguration {
#define TRELLYBRIDGE_MEMBER(name) Variant name;
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_MEMBER)
#undef TRELLYBRIDGE_MEMBER

    // The time-out of the chosen bridge, for the debug log.
    Variant bridgeTimeout;
    // True while a MEDIC default company number is in force for an HL7 request.
    bool medicCompanyMode = false;

    // Search criteria of GetPatientData.
    std::string SearchOn, CompanyName, LastName, FirstName, Social;
};

// The bridge and the vendor format a request names. Settings keep the text as stored
// (upper-cased when GetPatient stores them) for the debug log and the properties; code
// that branches on them uses the kind, read from that text by exact comparison.
enum class BridgeKind { Serial, TcpIp, Vendor, Polling, Folders, Https, Usb, Invalid };
enum class FormatKind { Standard, Hl7, Scan, Xml, Unknown };

// How a bridge reaches the vendor: its settings group and pages, what its requests check
// and what the debug dump tells of it follow from it.
enum class Transport { SerialLine, Tcp, Files, WebService };
// Which of the three vendor paths a bridge uses; the others read "N/A".
enum class VendorPaths {
    None,
    RequestAndResults,  // the program path is not used
    ResultsFolder,      // the results path is a folder; the identifier names the file in it
    All,
};

struct SessionState;

// What a bridge adds to the debug dump, as CRLF lines (common/DebugLog.cpp).
using DumpSection = std::string (*)(const BridgeConfiguration& config, const SessionState& session);
std::string serialDumpSection(const BridgeConfiguration& config, const SessionState& session);
std::string tcpDumpSection(const BridgeConfiguration& config, const SessionState& session);
std::string webServiceDumpSection(const BridgeConfiguration& config, const SessionState& session);

// Each bridge's row, in the order messages and the help list them: its name, its place in
// the settings page's list (`pageRow`), how it reaches the vendor, which vendor paths it
// uses, the settings no defaults group can give (where the vendor is, `address`, of which
// `optionalAddress` may stay unset), the settings pages it shows after the common ones
// (whose groups are also its working defaults, settings/Settings.h) and what it adds to
// the debug dump. The command's help, the pages, the host's defaults, the debug dump and
// the simulator read it; how a bridge is made is its line in session/Bridges.h, which the
// settings cannot see.
struct BridgeRow {
    std::string_view name;
    BridgeKind kind;
    int pageRow;
    Transport transport;
    VendorPaths paths;
    std::string_view address[3];
    std::string_view optionalAddress = {};
    std::string_view pages[2] = {"frmNetworkProperties"};
    DumpSection dump = nullptr;
};
// clang-format off
inline constexpr BridgeRow kBridgeRows[] = {
    {"SERIAL",  BridgeKind::Serial,  0, Transport::SerialLine, VendorPaths::None, {}, {},
     {"frmSerialPropertyPage", "frmMoreSerialProperties"}, &serialDumpSection},
    {"TCPIP",   BridgeKind::TcpIp,   4, Transport::Tcp,        VendorPaths::None,
     {"TCPRemoteHostName"}, {}, {"frmTCPTest"}, &tcpDumpSection},
    {"HTTPS",   BridgeKind::Https,   5, Transport::WebService, VendorPaths::All,
     {"VendorApplicationPath"}, {}, {"frmNetworkProperties", "frmHTTPSProperties"},
     &webServiceDumpSection},
    {"VENDOR",  BridgeKind::Vendor,  1, Transport::Files,      VendorPaths::All,
     {"VendorApplicationPath", "VendorRequestPath", "VendorResultsPath"}, "VendorRequestPath"},
    {"POLLING", BridgeKind::Polling, 2, Transport::Files,      VendorPaths::RequestAndResults,
     {"VendorRequestPath", "VendorResultsPath"}},
    {"FOLDERS", BridgeKind::Folders, 3, Transport::Files,      VendorPaths::ResultsFolder,
     {"VendorResultsPath"}},
    {"USB",     BridgeKind::Usb,     6, Transport::Files,      VendorPaths::All,
     {"VendorResultsPath"}},
};
// clang-format on
// What a bridge type the settings do not name shows: the network page, and no defaults.
inline constexpr std::string_view kPagesOfNoBridge[] = {"frmNetworkProperties"};

// The row of a bridge; null for BridgeKind::Invalid.
inline const BridgeRow* bridgeRow(BridgeKind kind) {
    for (const BridgeRow& bridge : kBridgeRows)
        if (bridge.kind == kind) return &bridge;
    return nullptr;
}

inline BridgeKind bridgeKindOf(std::string_view text) {
    for (const BridgeRow& bridge : kBridgeRows)
        if (text == bridge.name) return bridge.kind;
    return BridgeKind::Invalid;
}

// The transport and paths of a bridge; none for an invalid one.
inline std::optional<Transport> transportOf(BridgeKind kind) {
    const BridgeRow* row = bridgeRow(kind);
    return row ? std::optional<Transport>(row->transport) : std::nullopt;
}
inline std::optional<VendorPaths> vendorPathsOf(BridgeKind kind) {
    const BridgeRow* row = bridgeRow(kind);
    return row ? std::optional<VendorPaths>(row->paths) : std::nullopt;
}

// The formats by name, in the order messages and the help list them; how each asks and
// reads is its row in formats/Formats.cpp.
struct FormatName {
    std::string_view name;
    FormatKind kind;
};
inline constexpr FormatName kFormatNames[] = {
    {"HL7", FormatKind::Hl7},
    {"STANDARD", FormatKind::Standard},
    {"SCAN", FormatKind::Scan},
    {"XML", FormatKind::Xml},
};

// "A, B ... or Z": the names of a table's rows, as messages list them.
template <typename Rows>
std::string nameList(const Rows& rows) {
    std::string list;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        if (i > 0) list += i + 1 == std::size(rows) ? " or " : ", ";
        list += rows[i].name;
    }
    return list;
}
// "SERIAL, TCPIP, ... or USB", as messages name the bridges there are.
inline std::string bridgeNameList() {
    return nameList(kBridgeRows);
}
// "HL7, STANDARD, SCAN or XML".
inline std::string formatNameList() {
    return nameList(kFormatNames);
}

inline FormatKind formatKindOf(std::string_view text) {
    for (const FormatName& format : kFormatNames)
        if (text == format.name) return format.kind;
    return FormatKind::Unknown;
}

// Empty text and the INVALID marker both mean "not supplied" to a consumer with a fallback.
inline bool isUnset(const Variant& value) {
    return value.isEmptyText() || value.toText() == kInvalidMarker;
}

// AllowedRetries as the whole number of attempts the run loops count against, the same
// in every comparison: "2.5" rounds as any conversion to a whole number does, so no
// fractional limit can be stepped over; text that is not a number gives none.
inline int allowedAttempts(const BridgeConfiguration& config) {
    double value = std::nearbyint(config.AllowedRetries.numericValue());
    if (!std::isfinite(value)) value = 0;
    return static_cast<int>(std::clamp(value, -1e9, 1e9));
}

// The kinds of the stored settings. Read from the text at each use, so that settings
// written directly (defaults, the parse command, tests) can never disagree with them.
inline BridgeKind bridgeKind(const BridgeConfiguration& config) {
    return bridgeKindOf(config.NetworkBridgeType.toText());
}
inline std::optional<Transport> transport(const BridgeConfiguration& config) {
    return transportOf(bridgeKind(config));
}
inline FormatKind formatKind(const BridgeConfiguration& config) {
    return formatKindOf(config.VendorFormatType.toText());
}

}  // namespace trellybridge
