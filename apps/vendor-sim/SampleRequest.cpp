#include "SampleRequest.h"

#include "common/BridgeConfiguration.h"

namespace trellybridge::vendorsim {

GetPatientArguments sampleRequest(const std::string& account, const std::string& bridge,
                                  const std::string& format, int port) {
    GetPatientArguments a;
    a.PatientID = account;
    a.NetworkBridgeType = bridge;
    a.VendorFormatType = format;
    a.VendorName = "VENDORSIM";
    a.VendorFormatVersion = "2.3";
    a.VendorRequestTag = format == "STANDARD" ? "ACCT=" : "<%DYNAMIC%>";
    a.EOFCharacter = format == "HL7" ? "28" : "126";
    a.EOLCharacter = format == "HL7" ? "13" : "13,10";  // as the settings pages set it
    a.AllowedRetries = "2";
    a.DisplayProperties = "false";
    a.DisplayDebugger = "false";
    a.SerialTimeout = "1";
    a.NetworkTimeout = "1";
    // Where the simulator listens, as the bridge's row says it is reached.
    std::optional<Transport> transport = transportOf(bridgeKindOf(bridge));
    if (transport == Transport::Tcp) {
        a.TCPRemoteHostName = "127.0.0.1";
        a.TCPRemotePorts = std::to_string(port);
    } else if (transport == Transport::SerialLine) {
        a.CommPort = std::to_string(port);
        a.BPS = "9600";
        a.DataBits = "8";
        a.StopBits = "1";
        a.Handshaking = "none";
        a.InputMode = "text";
        a.RThreshold = "1";
        a.SThreshold = "1";
    }
    return a;
}

}  // namespace trellybridge::vendorsim
