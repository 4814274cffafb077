// The reference part of `trellybridge --help-all` (and so of the man page): every setting
// with its meaning and default, the exit status, the environment and the files.
#include <set>
#include <string>

#include "CliSupport.h"
#include "common/BridgeConfiguration.h"
#include "formats/Formats.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::cli {
namespace {

// What each GetPatient setting means, in call order.
constexpr const char* kMeanings[GetPatientArguments::kCount] = {
    "the patient's account number at the vendor (required); MEDIC sites put the company "
    "number in front, as in 1-123456789",
    "the bridge (required): ",  // the bridges' names follow
    "facility code written into the request",
    "the vendor system's name (HIS selects the hospital information system request)",
    "how the request names the patient: <%DYNAMIC%> (the format's own request), a "
    "template holding [PID], or a prefix such as ACCT=",
    "the answer format (required): ",  // the formats' names follow
    "version of the vendor format",
    "character codes that end an answer",
    "character codes that end a line of an answer",
    "character codes that end a request",
    "attempts before the request gives up (TCPIP makes one more)",
    "shown on the common settings page; no request reads it",
    "true shows the settings pages before the request (with --ui qt)",
    "true writes the debug log (patient data: see FILES) and shows diagnostic boxes",
    "shown on the common settings page; no request reads it",
    "exact rather than case-blind matching of the answer against the request",
    "lines kept in the insurance log (empty: 20000; no number: no log)",
    "data source name of the hospital information system",
    "business unit of the hospital information system",
    "organisation identifier sent to the web service",
    "override keywords in braces, such as {NO INS}",
    "host of the vendor's TCP service (required for TCPIP)",
    "TCP ports to try, comma-separated",
    "default company number of a MEDIC site",
    "MEDIC company-number handling; 0 turns off splitting it from the identifier",
    "company numbers the user may query, comma-separated",
    "true puts the guarantor's address in the patient's (MEDIC, MISYS PM)",
    "serial port number N (the device TRELLYBRIDGE_COM<N> names)",
    "raise the DTR line",
    "raise the RTS line",
    "stop input at an end-of-file character",
    "serial handshaking: none, xonxoff, rts or rtsxonxoff",
    "serial input mode: text or binary",
    "discard received NUL characters",
    "line speed in bits per second",
    "data bits per character",
    "parity (shown, not applied)",
    "stop bits",
    "flow control",
    "characters read per input call (0: all waiting)",
    "receive buffer size",
    "transmit buffer size",
    "receive event threshold",
    "send event threshold",
    "time-out of the serial and TCP bridges, in ticks of TimeDelay",
    "program the VENDOR bridge starts; the web service's https:// address for HTTPS "
    "(required for VENDOR and HTTPS)",
    "request file of the VENDOR and POLLING bridges; the page of the web service (required "
    "for VENDOR and POLLING)",
    "results file (FOLDERS: its folder) of the file bridges (required for VENDOR, POLLING, "
    "FOLDERS and USB)",
    "time-out of the file bridges and HTTPS, in ticks of TimeDelay",
    "interval of the session timer in milliseconds",
};

std::string meaning(std::size_t position) {
    std::string text = kMeanings[position];
    if (position == 1) text += bridgeNameList();
    if (position == 5) text += formatNameList();
    return text;
}

// The working defaults of one setting over every bridge and format, as they are filled.
std::string defaultsOf(std::size_t position) {
    if (position == 1 || position == 5) return "none";
    std::set<std::string> values;
    for (const BridgeRow& bridge : kBridgeRows)
        for (const formats::Format& format : formats::formats()) {
            std::string value =
                GetPatientArguments::withDefaults(bridge.name, format.name).at(position).toText();
            if (!value.empty()) values.insert(value);
        }
    if (values.empty()) return "none";
    std::string text;
    for (const std::string& value : values) text += (text.empty() ? "" : " or ") + value;
    return values.size() > 1 ? text + " (by bridge and format)" : text;
}

}  // namespace

std::string helpReference() {
    std::string text =
        "\n*Settings*\n"
        "The fifty GetPatient settings, for --set NAME=VALUE and --config lines (names in any\n"
        "case). A setting given nowhere takes its default (--no-defaults: passed empty).\n";
    for (std::size_t i = 0; i < GetPatientArguments::kCount; ++i)
        text += "  " + std::string(GetPatientArguments::name(i)) + "\n      " + meaning(i) +
                "; default: " + defaultsOf(i) + "\n";
    text +=
        "\n*Exit Status*\n"
        "  0  the patient was found (get-patient-data: the result lists one or more)\n"
        "  1  the vendor answered, and the patient is not there\n"
        "  2  usage or settings error: nothing was sent, or the settings could not make a request\n"
        "  3  the vendor could not be reached or did not answer (name look-up, connect, TLS,\n"
        "     a port that cannot open, time-out, an answer over the size limit)\n"
        "\nEnvironment:\n"
        "  TRELLYBRIDGE_DRIVE_C (and _D ... _Z)\n"
        "      the folder a drive letter stands for (C: $XDG_DATA_HOME/trellybridge/drive_c)\n"
        "  TRELLYBRIDGE_COM<N>\n"
        "      the terminal device of serial port N (default /dev/ttyS<N-1>)\n"
        "  TRELLYBRIDGE_MAX_ANSWER_BYTES\n"
        "      the most a vendor answer may hold (default 1 MiB)\n"
        "  TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES\n"
        "      the size at which BRIDGEDEBUG.log is turned over (64 KiB to 1 GiB; default\n"
        "      16 MiB)\n"
        "  TRELLYBRIDGE_CLIENT_CERT, TRELLYBRIDGE_CLIENT_KEY, TRELLYBRIDGE_CA_FILE\n"
        "      the client certificate, its key and the authorities for the web service\n"
        "  TRELLYBRIDGE_USB_COMPONENT\n"
        "      the shared library (absolute path) of the USB patient-record component\n"
        "  TRELLYBRIDGE_PACE\n"
        "      standard or fast: the pace when --pace is not given (the command's default is\n"
        "      fast; a host calling the library gets the standard schedule unless it is fast)\n"
        "  TRELLYBRIDGE_UI\n"
        "      headless (default) or qt, as --ui\n"
        "  TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM\n"
        "      the system URI of the account number in FHIR (default urn:trellybridge:account)\n"
        "  TRELLYBRIDGE_LIBRARY\n"
        "      the library the Python binding loads\n"
        "  XDG_CONFIG_HOME, XDG_DATA_HOME, HOME\n"
        "      as usual; a relative path is not used (the password database names the home)\n"
        "\nFiles:\n"
        "  C:\\BridgeLogs\\BRIDGEDEBUG.log (else C:\\BRIDGEDEBUG.log), with BRIDGEDEBUG.log.1\n"
        "      the debug log: a dump of every request, with the vendor's raw answer (patient\n"
        "      data), written while DisplayDebugger is true (the default); mode 0600\n"
        "  C:\\BridgeLogs\\BRIDGEINSURANCE.log (else C:\\BRIDGEINSURANCE.log)\n"
        "      the insurance log, at most LogInsuranceEntries lines; mode 0600\n"
        "  $XDG_CONFIG_HOME/TrellyBridge/settings.ini\n"
        "      the last good TCP port\n";
    return text;
}

}  // namespace trellybridge::cli
