// Working defaults for hosts that fill in only what their site needs: the groups the
// settings pages restore for the bridge, then what the format needs to be asked and read.
#include <string>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/SessionState.h"
#include "component/Configuration.h"
#include "formats/Formats.h"
#include "settings/Settings.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

bool isBlank(const Variant& value) {
    return value.isEmptyText();
}

// Where the vendor is, for each bridge: no group holds a value that could find it (the
// serial group names a port, COM2).
std::vector<std::string_view> addressSettings(BridgeKind bridge) {
    std::vector<std::string_view> settings;
    if (const BridgeRow* row = bridgeRow(bridge))
        for (std::string_view setting : row->address)
            if (!setting.empty()) settings.push_back(setting);
    return settings;
}

// The address settings a request cannot do without: the VENDOR bridge without a request
// file hands its program the identifier as its argument instead.
bool requiredAddress(BridgeKind bridge, std::string_view setting) {
    const BridgeRow* row = bridgeRow(bridge);
    return !row || row->optionalAddress != setting;
}

std::string upper(std::string_view text) {
    return Variant(std::string(text)).upperText();
}

}  // namespace

GetPatientArguments GetPatientArguments::withDefaults(std::string_view bridgeName,
                                                      std::string_view formatName) {
    BridgeKind bridge = bridgeKindOf(upper(bridgeName));
    FormatKind format = formatKindOf(upper(formatName));
    BridgeConfiguration c;
    SessionState scratch;
    settings::restoreCommonDefaults(c);
    if (const BridgeRow* row = bridgeRow(bridge))
        for (std::string_view page : row->pages) settings::restorePageDefaults(page, c, scratch);
    // What the vendor of each format usually expects and sends.
    if (const formats::Format* f = formats::formatOf(format)) {
        c.VendorRequestTag = std::string(f->requestTag);
        c.EOFCharacter = std::string(f->endOfAnswer);
        c.EOLCharacter = std::string(f->endOfLine);
        c.EOFRequest = std::string(f->endOfRequest);
    }
    // The common group's "SERIAL" and "STANDARD" are no default for a choice the caller
    // must make, and its program and file names are no vendor's address.
    c.NetworkBridgeType = std::string(bridgeName);
    c.VendorFormatType = std::string(formatName);
    GetPatientArguments arguments;
#define TRELLYBRIDGE_COPY(name) arguments.name = c.name;
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_COPY)
#undef TRELLYBRIDGE_COPY
    for (std::string_view address : addressSettings(bridge))
        if (auto position = find(address)) arguments.at(*position) = Variant();
    if (transportOf(bridge) == Transport::WebService) arguments.VendorRequestPath = Variant();
    arguments.TimeDelay = "1000";
    return arguments;
}

void GetPatientArguments::fillDefaults() {
    GetPatientArguments defaults =
        withDefaults(NetworkBridgeType.toText(), VendorFormatType.toText());
    for (std::size_t i = 0; i < kCount; ++i)
        if (isBlank(at(i)) && !isBlank(defaults.at(i))) at(i) = defaults.at(i);
}

std::vector<std::string> GetPatientArguments::settingProblems() const {
    std::vector<std::string> problems;
    auto missing = [&](const Variant& value, std::string_view name) {
        if (value.toText().find_first_not_of(' ') == std::string::npos)
            problems.push_back(std::string(name) + " is not set");
    };
    missing(PatientID, "PatientID");
    missing(NetworkBridgeType, "NetworkBridgeType");
    missing(VendorFormatType, "VendorFormatType");
    BridgeKind bridge = bridgeKindOf(NetworkBridgeType.upperText());
    if (bridge == BridgeKind::Invalid && !isBlank(NetworkBridgeType))
        problems.push_back("NetworkBridgeType " + NetworkBridgeType.toText() + " is not " +
                           bridgeNameList());
    if (formatKindOf(VendorFormatType.upperText()) == FormatKind::Unknown &&
        !isBlank(VendorFormatType))
        problems.push_back("VendorFormatType " + VendorFormatType.toText() + " is not " +
                           formatNameList());
    for (std::string_view address : addressSettings(bridge))
        if (auto position = find(address); position && requiredAddress(bridge, address))
            missing(at(*position), address);
    if (transportOf(bridge) == Transport::Tcp) missing(TCPRemotePorts, "TCPRemotePorts");
    // The values given are read as the request will read them.
    BridgeConfiguration given;
#define TRELLYBRIDGE_COPY(name) given.name = name;
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_COPY)
#undef TRELLYBRIDGE_COPY
    given.NetworkBridgeType = NetworkBridgeType.upperText();
    for (std::string& problem : configuration::unusableSettings(given))
        problems.push_back(std::move(problem));
    return problems;
}

}  // namespace trellybridge
