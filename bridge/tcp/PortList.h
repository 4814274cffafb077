// The comma-separated port lists of the TCP bridge, with the shuffle that spreads sites
// over a vendor's ports. Items are numbered from 1. Each operation splits its list once:
// all of them are linear in the list's length.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trellybridge::tcp {

// The commas, a last one aside, plus one; 0 for an empty list.
int countListItems(std::string_view list);
// Item n; a position below 1 or beyond the last item gives the last item.
std::string getListItem(std::string_view list, int n);
// Items 1 to countListItems(list), as getListItem gives them.
std::vector<std::string> listItems(std::string_view list);
// Items 1 to `count` but item n (item 1 is always kept); ends in "," when n is `count`.
std::string removeListItem(std::string_view list, int count, int n);
// For each item i and each later item j, both up to the list's count taken once: when
// they are equal, the list becomes removeListItem(list, count, j).
std::string removeDuplicateItems(std::string_view list);
std::string reverseList(std::string_view list);
// The list without repeated and empty items, in first-seen order.
std::string distinctItems(std::string_view list);
// A permutation of the list's distinct, non-empty items that differs by computer and by
// second.
std::string shufflePorts(std::string_view list);

}  // namespace trellybridge::tcp
