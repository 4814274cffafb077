#include "pages/TcpTestDialog.h"

#include "common/BridgeConfiguration.h"
#include "common/SessionState.h"
#include "common/Text.h"
#include "pages/PropertyPages.h"
#include "settings/Settings.h"
#include "tcp/ConnectionTable.h"
#include "tcp/HostUtilities.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::pages {
namespace {

constexpr const char* kFailed = "FAILED!";
constexpr const char* kDetails = "details...";
constexpr const char* kSimple = "simple...";

// The six fields the dialog edits, in control order (the list edits none).
std::vector<std::string*> sessionFields(SessionState& s) {
    return {&s.localHostName, &s.localIP, nullptr, &s.remoteIP, nullptr, nullptr};
}
std::vector<Variant*> configurationFields(BridgeConfiguration& c) {
    return {nullptr, nullptr, &c.TCPRemoteHostName, nullptr, &c.TCPRemotePorts, &c.SerialTimeout};
}

}  // namespace

std::string padRight(std::string_view text, std::size_t width) {
    std::string padded(text);
    if (padded.size() + 1 < width) padded.resize(width, ' ');
    return padded;
}

std::string connectionLine(std::string_view address, std::string_view hostName,
                           std::string_view port, std::string_view state) {
    std::string line = address.starts_with("0") ? std::string(address) : padRight(address, 15);
    line += padRight(text::upper(hostName), 24);
    line += padRight(port, 6);
    line += padRight(text::contains(state, "ESTAB") ? "ESTABLISHED" : state, 20);
    return line;
}

TcpTestDialog::TcpTestDialog(BridgeConfiguration& config, SessionState& session)
    : ui::PropertyPage("frmTCPTest", pageCaption(), "TrellyBridge Properties - TCP"),
      config_(config),
      session_(session) {
    for (const char* label : {"My Hostname/Machinename:", "", "Remote Hostname/Machinename:", "",
                              "Remote Port(s) [ie. 1001,1002,1003]:", "TCP/IP Timeout (sec):",
                              "Please select a remote host:"}) {
        ui::Control control;
        control.label = label;
        controls_.push_back(std::move(control));
    }
    controls_[Details].kind = ui::ControlKind::Lines;
    controls_[Details].fixedPitch = true;
    controls_[Details].visible = false;
    buttons_ = {"&Test!", "&Clear", kDetails, "Restore &Defaults", "&Save"};
    loaded_.resize(controls_.size());
}

void TcpTestDialog::open() {
    load();
    controls_[Details].visible = false;
    buttons_[DetailsButton] = kDetails;
}

void TcpTestDialog::load() {
    auto session = sessionFields(session_);
    auto config = configurationFields(config_);
    for (std::size_t i = 0; i < session.size(); ++i) {
        controls_[i].text = session[i] ? *session[i] : config[i]->toText();
        loaded_[i] = controls_[i].text;
    }
}

void TcpTestDialog::save() {
    auto session = sessionFields(session_);
    auto config = configurationFields(config_);
    for (std::size_t i = 0; i < session.size(); ++i) {
        if (session[i]) {
            *session[i] = controls_[i].text;
        } else if (controls_[i].text != loaded_[i]) {
            *config[i] = controls_[i].text;
        }
    }
    closed_ = true;
}

void TcpTestDialog::restore() {
    settings::restoreTcpDefaults(config_, session_);
    load();
}

void TcpTestDialog::test() {
    std::string& myName = controls_[MyHostName].text;
    std::string& myIP = controls_[MyIP].text;
    if (myName.empty()) {
        myName = text::upper(tcp::getLocalHostName());
        myIP =
            myName.empty() ? std::string() : tcp::resolveHostAddressWithin(myName, kLookupBoundMs);
    }
    if (myIP.empty()) myIP = kFailed;
    const std::string& remote = controls_[RemoteHostName].text;
    std::string remoteIP =
        remote.empty() ? std::string() : tcp::resolveHostAddressWithin(remote, kLookupBoundMs);
    controls_[HostIP].text = remoteIP.empty() ? kFailed : remoteIP;
}

void TcpTestDialog::clear() {
    for (std::size_t i = MyHostName; i <= Timeout; ++i) controls_[i].text.clear();
}

void TcpTestDialog::toggleDetails() {
    if (buttons_[DetailsButton] == kDetails) {
        controls_[Details].visible = true;
        loadAvailablePorts(tcp::loadTcpTable(session_));
        buttons_[DetailsButton] = kSimple;
    } else {
        controls_[Details].visible = false;
        buttons_[DetailsButton] = kDetails;
    }
}

void TcpTestDialog::loadAvailablePorts(const tcp::TcpTableSnapshot& table) {
    controls_[Details].choices.clear();
    rows_.clear();
    for (int i = 0; i < table.count && i <= 100; ++i) {
        auto n = static_cast<std::size_t>(i);
        if (text::trimSpaces(table.remoteIP[n]).empty()) break;
        controls_[Details].choices.push_back(connectionLine(table.remoteIP[n], table.hostName[n],
                                                            table.remotePort[n], table.state[n]));
        rows_.push_back(
            {text::trimSpaces(table.remoteIP[n]), text::trimSpaces(table.remotePort[n])});
    }
}

void TcpTestDialog::press(std::size_t button) {
    switch (button) {
        case TestButton: test(); break;
        case ClearButton: clear(); break;
        case DetailsButton: toggleDetails(); break;
        case RestoreButton: restore(); break;
        case SaveButton: save(); break;
        default: break;
    }
}

void TcpTestDialog::choose(std::size_t control, int line) {
    if (control != Details || line < 0 || static_cast<std::size_t>(line) >= rows_.size()) return;
    // The line's columns shift with a long address or host name: the row behind it holds
    // the address and port as they are.
    const Row& row = rows_[static_cast<std::size_t>(line)];
    controls_[HostIP].text = row.address;
    // The remote end of the chosen connection is where later requests go; this machine's
    // own name there would point them back at it.
    controls_[RemoteHostName].text = row.address;
    controls_[RemotePorts].text = row.port;
}

}  // namespace trellybridge::pages
