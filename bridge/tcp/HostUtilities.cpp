#include "tcp/HostUtilities.h"

#include "common/SessionState.h"
#include "platform/Lookups.h"
#include "platform/Sockets.h"
#include "platform/TcpTable.h"
#include "platform/Toolkit.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::tcp {
std::string getLocalHostName() {
    return trimAtNull(iphelper::hostName());
}

std::string resolveHostAddress(std::string_view name) {
    auto address = sockets::resolve(name);
    return address ? addressToDotted(*address) : std::string();
}

std::string resolveHostAddressWithin(std::string_view name, int boundMs) {
    auto address = sockets::resolveWithin(name, boundMs);
    return address ? addressToDotted(*address) : std::string();
}

std::string addressToDotted(std::uint32_t address) {
    return sockets::dotted(address);
}

std::string getLocalIP(std::string_view localHostName, const std::optional<std::string>& pinned) {
    tcpStartup();
    std::string address;
    if (pinned) {
        address = *pinned;
    } else {
        address = resolveHostAddress(localHostName);
        // A machine whose own name does not resolve binds to any local address rather
        // than not connecting at all.
        if (address.empty()) address = "0.0.0.0";
    }
    tcpCleanup();
    return address;
}

std::string getRemoteIP(std::string_view remoteHostName) {
    tcpStartup();
    std::string address = resolveHostAddress(remoteHostName);
    tcpCleanup();
    return address;
}

void resolveSessionAddresses(SessionState& s, std::string_view remoteHost,
                             const std::optional<std::string>& pinned) {
    if (remoteHost.empty() || s.localHostName.empty()) return;
    s.localIP = getLocalIP(s.localHostName, pinned);
    s.remoteIP = getRemoteIP(remoteHost);
}

std::string getHostNameFromIP(std::string_view dotted) {
    tcpStartup();
    std::uint32_t address = sockets::inetAddr(dotted);
    if (address == sockets::kAddressNone) {
        ui::toolkit().messageBox("String passed is an invalid IP.", "", ui::Icon::None);
        return {};
    }
    std::string name = sockets::nameOf(address);
    if (name.empty()) ui::toolkit().messageBox("Call to gethostbyaddr failed.", "", ui::Icon::None);
    return name;
}

std::string trimAtNull(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

}  // namespace trellybridge::tcp
