// Port lists: the list operations and the shuffle, which must give each distinct item once.
#include <set>

#include "FuzzSupport.h"
#include "tcp/PortList.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size > 512) return 0;  // configured port lists are short
    fuzzing::prepare("HL7", "TCPIP");
    std::string list(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> items = tcp::listItems(list);
    int count = tcp::countListItems(list);
    if (static_cast<int>(items.size()) != count ||
        (count > 0 && tcp::getListItem(list, count + 1 - data[0] % count) !=
                          items[static_cast<size_t>(count - data[0] % count) - 1]))
        __builtin_trap();
    tcp::removeDuplicateItems(list);
    tcp::reverseList(list);
    if (count > 0) tcp::removeListItem(list, count, 1 + data[0] % count);

    std::vector<std::string> distinct = tcp::listItems(tcp::distinctItems(list)),
                             shuffled = tcp::listItems(tcp::shufflePorts(list));
    if (std::multiset(distinct.begin(), distinct.end()) !=
        std::multiset(shuffled.begin(), shuffled.end()))
        __builtin_trap();
    return 0;
}
