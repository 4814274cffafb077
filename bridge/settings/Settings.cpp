#include "settings/Settings.h"

#include "common/BridgeConfiguration.h"
#include "common/SessionState.h"
#include "platform/SettingsStore.h"

namespace trellybridge::settings {

std::string getProperty(std::string_view key) {
    return platform::settingsStore().get(kSection, key);
}

void saveProperty(std::string_view key, std::string_view value) {
    platform::settingsStore().set(kSection, key, value);
}

void restoreCommonDefaults(BridgeConfiguration& c) {
    c.NetworkBridgeType = "SERIAL";
    c.VendorFacility = "CLIENT";
    c.VendorName = "STANDARD";
    c.VendorRequestTag = "ACCT=";
    c.VendorFormatType = "STANDARD";
    c.VendorFormatVersion = "2.0";
    c.stripPaddedZeros = "false";
    c.EOFCharacter = "126";
    c.EOLCharacter = "13,10";
    c.EOFRequest = "13,28";
    c.AllowedRetries = "2";
    c.DisplayProperties = "true";
    c.DisplayDebugger = "true";
    c.InsuranceOverrides = "false";
    c.CaseSensitivity = "false";
    c.LogInsuranceEntries = "";
}

void restoreMEDICDefaults(BridgeConfiguration& c) {
    c.MEDICNumberDefault = "2";
    c.MEDICNumberLength = "10";
    c.MEDICNumberValidList = "Item1,Item2,Item3,Item4";
    c.MEDICuseGuarantorAddress = "false";
}

void restoreHISDefaults(BridgeConfiguration& c) {
    c.HISDSN = "skljdf";
    c.HISBusinessUnit = "SJC";
}

void restoreHTTPSDefaults(BridgeConfiguration& c) {
    c.HTTPSOrganizationID = "";
    c.HTTPSSubjectCN = "";
}

void restoreNetworkDefaults(BridgeConfiguration& c) {
    c.VendorApplicationPath = "c:\\winnt\\notepad.exe";
    c.VendorRequestPath = "c:\\vendor\\request.inq";
    c.VendorResultsPath = "c:\\vendor\\patient.dat";
    c.NetworkTimeout = "5";
}

void restoreSerialDefaults(BridgeConfiguration& c) {
    c.CommPort = "2";
    c.DTR = "false";
    c.RTS = "false";
    c.EOF_ = "false";
    c.Handshaking = "none";
    c.InputMode = "text";
    c.NullDiscard = "false";
    c.BPS = "9600";
    c.DataBits = "8";
    c.Parity = "none";
    c.StopBits = "1";
    c.FlowControl = "none";
}

void restoreMoreSerialDefaults(BridgeConfiguration& c) {
    c.InputLength = "1";
    c.InBufferSize = "1024";
    c.OutBufferSize = "512";
    c.RThreshold = "1";
    c.SThreshold = "1";
    c.SerialTimeout = "5";
}

void restoreTcpDefaults(BridgeConfiguration& c, SessionState& session) {
    session.localIP.clear();
    session.localHostName.clear();
    session.remoteIP.clear();
    c.TCPRemoteHostName = "";
    c.TCPRemotePorts = "9991";
    c.SerialTimeout = "8";
}

void restorePageDefaults(std::string_view page, BridgeConfiguration& c, SessionState& session) {
    if (page == "frmSerialPropertyPage") restoreSerialDefaults(c);
    if (page == "frmMoreSerialProperties") restoreMoreSerialDefaults(c);
    if (page == "frmTCPTest") restoreTcpDefaults(c, session);
    if (page == "frmNetworkProperties") restoreNetworkDefaults(c);
    if (page == "frmHTTPSProperties") restoreHTTPSDefaults(c);
}

}  // namespace trellybridge::settings
