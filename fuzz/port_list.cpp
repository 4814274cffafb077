// Port lists: the list operations and the shuffle, which must give each distinct item once.
#include <algorithm>

#include "FuzzSupport.h"
#include "tcp/PortList.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size > 512) return 0;  // configured port lists are short
    std::string list(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> items = tcp::listItems(list);
    int count = tcp::countListItems(list), n = count > 0 ? 1 + data[0] % count : 0;
    if (static_cast<int>(items.size()) != count ||
        (n > 0 && tcp::getListItem(list, n) != items[static_cast<size_t>(n) - 1]))
        __builtin_trap();
    tcp::removeDuplicateItems(list);
    tcp::removeListItem(list, count, n);

    std::vector<std::string> distinct = tcp::listItems(tcp::distinctItems(list)),
                             shuffled = tcp::listItems(tcp::shufflePorts(list));
    // Compared as sorted views: sorting the texts themselves took a tenth of an input's time.
    std::vector<std::string_view> expected(distinct.begin(), distinct.end()),
        got(shuffled.begin(), shuffled.end());
    std::ranges::sort(expected);
    std::ranges::sort(got);
    if (expected != got) __builtin_trap();
    return 0;
}
