// Port lists: the list operations and the shuffle, which must give each distinct item once.
#include <set>

#include "FuzzSupport.h"
#include "tcp/HostUtilities.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size > 512) return 0;  // configured port lists are short
    fuzzing::prepare("HL7", "TCPIP");
    std::string list(reinterpret_cast<const char*>(data), size);
    int count = tcp::countListItems(list);
    for (int n = 0; n <= count + 1; ++n) tcp::getListItem(list, n);
    tcp::removeDuplicateItems(list);
    tcp::reverseList(list);
    if (count > 0) tcp::removeListItem(list, count, 1 + data[0] % count);

    std::string distinct = tcp::distinctItems(list);
    std::string shuffled = tcp::shufflePorts(list);
    std::multiset<std::string> before, after;
    for (int n = 1; n <= tcp::countListItems(distinct); ++n)
        before.insert(tcp::getListItem(distinct, n));
    for (int n = 1; n <= tcp::countListItems(shuffled); ++n)
        after.insert(tcp::getListItem(shuffled, n));
    if (before != after) __builtin_trap();
    return 0;
}
