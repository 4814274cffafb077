#include "tcp/HostUtilities.h"

#include <cmath>
#include <mutex>
#include <random>
#include <vector>

#include "common/SessionState.h"
#include "common/Text.h"
#include "platform/Clock.h"
#include "platform/Lookups.h"
#include "platform/Sockets.h"
#include "platform/TcpTable.h"
#include "platform/Toolkit.h"
#include "tcp/TcpConnection.h"

namespace trellybridge::tcp {
namespace {

std::vector<std::string> split(std::string_view list) {
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t comma; (comma = list.find(',', start)) != std::string_view::npos; start = comma + 1)
        items.emplace_back(list.substr(start, comma - start));
    items.emplace_back(list.substr(start));
    return items;
}

std::string join(const std::vector<std::string>& items) {
    std::string list;
    for (size_t i = 0; i < items.size(); ++i) list += (i ? "," : "") + items[i];
    return list;
}

// The process-wide generator of the shuffle: never reseeded, so two shuffles in one
// second still differ. Threads take turns with it.
std::mt19937& generator() {
    static std::mt19937 engine{std::random_device{}()};
    return engine;
}
std::mutex generatorTurn;

}  // namespace

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

int countListItems(std::string_view list) {
    if (list.empty()) return 0;
    int commas = 0;
    for (size_t i = 0; i + 1 < list.size(); ++i)
        if (list[i] == ',') ++commas;
    return commas + 1;
}

std::string getListItem(std::string_view list, int n) {
    size_t start = 0;
    for (int item = 1;; ++item) {
        size_t comma = list.find(',', start);
        if (comma == std::string_view::npos)
            return std::string(list.substr(start));  // the last item
        if (item == n) return std::string(list.substr(start, comma - start));
        start = comma + 1;
    }
}

std::string removeListItem(std::string_view list, int count, int n) {
    std::string result = getListItem(list, 1);
    if (count > 1) result += ",";
    for (int i = 2; i <= count; ++i) {
        if (i == n) continue;
        result += getListItem(list, i);
        if (i < count) result += ",";
    }
    return result;
}

std::string removeDuplicateItems(std::string_view list) {
    std::string result(list);
    int count = countListItems(list);
    for (int i = 1; i <= count; ++i)
        for (int j = i + 1; j <= count; ++j)
            if (getListItem(result, j) == getListItem(result, i))
                result = removeListItem(result, count, j);
    return result;
}

std::string reverseList(std::string_view list) {
    std::vector<std::string> items = split(list);
    return join({items.rbegin(), items.rend()});
}

std::string distinctItems(std::string_view list) {
    std::vector<std::string> kept;
    for (std::string& item : split(list))
        if (!item.empty() && std::find(kept.begin(), kept.end(), item) == kept.end())
            kept.push_back(std::move(item));
    return join(kept);
}

std::string shufflePorts(std::string_view list) {
    // Only distinct, non-empty items can be chosen: with anything else the search for a
    // new item would never end.
    std::vector<std::string> items = split(distinctItems(list));
    if (items.size() == 1 && items[0].empty()) items.clear();
    std::string name = text::upper(getLocalHostName());
    long long sum = 0;
    std::vector<std::string> chosen;
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::lock_guard turn(generatorTurn);
    int n = static_cast<int>(items.size());
    while (static_cast<int>(chosen.size()) < n) {
        for (unsigned char c : name) sum += c;
        long long draws = platform::clock().now().second + sum;
        double r = 0;
        // How many numbers are drawn only varies the choice; a bound keeps long lists fast.
        for (long long d = 0; d <= draws % 64; ++d) r = uniform(generator());
        float x = static_cast<float>(r * n + 1);
        int position = static_cast<int>(std::nearbyint(std::round(x * 100.0f) / 100.0f));
        const std::string& item = items[static_cast<size_t>(std::clamp(position, 1, n) - 1)];
        if (std::find(chosen.begin(), chosen.end(), item) == chosen.end()) chosen.push_back(item);
    }
    std::string result = join(chosen);
    return sum % 2 == 0 ? reverseList(result) : result;
}

std::string trimAtNull(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

}  // namespace trellybridge::tcp
