#include "tcp/PortList.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "platform/Clock.h"
#include "tcp/HostUtilities.h"

namespace trellybridge::tcp {
namespace {

using Items = std::vector<std::string_view>;

size_t countCommas(std::string_view list) {
    return static_cast<size_t>(std::count(list.begin(), list.end(), ','));
}

// Every item between commas, a last empty one included. Items are a few characters: a
// search call per item cost more than the item.
Items split(std::string_view list) {
    Items items;
    items.reserve(countCommas(list) + 1);
    const char* start = list.data();
    for (const char *at = start, *end = start + list.size();; start = ++at) {
        at = std::find(at, end, ',');
        items.emplace_back(start, static_cast<size_t>(at - start));
        if (at == end) break;
    }
    return items;
}

// getListItem over split items: the last item answers every position it does not end.
std::string_view itemAt(const Items& items, int n) {
    return n >= 1 && static_cast<size_t>(n) < items.size() ? items[static_cast<size_t>(n) - 1]
                                                           : items.back();
}

// The texts text(0) to text(count - 1) with commas between them.
template <typename Text>
std::string join(size_t count, Text text) {
    size_t length = count;
    for (size_t i = 0; i < count; ++i) length += std::string_view(text(i)).size();
    std::string list;
    list.reserve(length);
    for (size_t i = 0; i < count; ++i) (list += i ? "," : "") += text(i);
    return list;
}
std::string join(const Items& items) {
    return join(items.size(), [&](size_t i) { return items[i]; });
}

// Item texts numbered in the order first met, found again through one table of slots
// (open addressing): no allocation per item, as a node-based set makes.
class ItemNumbers {
public:
    explicit ItemNumbers(size_t expected) : slots_(std::bit_ceil(2 * expected + 2), kFree) {
        values_.reserve(expected);
    }

    // The number of `text`, and whether it is met for the first time.
    std::pair<int, bool> number(std::string_view text) {
        if (2 * (values_.size() + 1) > slots_.size()) grow();
        for (size_t slot = home(text);; slot = (slot + 1) & (slots_.size() - 1)) {
            int& held = slots_[slot];
            if (held == kFree) {
                held = static_cast<int>(values_.size());
                values_.push_back(text);
                return {held, true};
            }
            if (values_[static_cast<size_t>(held)] == text) return {held, false};
        }
    }
    const Items& values() const { return values_; }
    Items takeValues() && { return std::move(values_); }

private:
    static constexpr int kFree = -1;
    size_t home(std::string_view text) const {
        return std::hash<std::string_view>{}(text) & (slots_.size() - 1);
    }
    void grow() {
        slots_.assign(2 * slots_.size(), kFree);
        for (size_t n = 0; n < values_.size(); ++n) {
            size_t slot = home(values_[n]);
            while (slots_[slot] != kFree) slot = (slot + 1) & (slots_.size() - 1);
            slots_[slot] = static_cast<int>(n);
        }
    }

    std::vector<int> slots_;
    Items values_;
};

Items distinct(std::string_view list) {
    Items items = split(list);
    ItemNumbers seen(items.size());
    for (std::string_view item : items)
        if (!item.empty()) seen.number(item);
    return std::move(seen).takeValues();
}

// removeDuplicateItems without comparing every pair. The list it compares always has
// `count` items: a removal moves the later items forward and the last item fills the
// end again, except a removal at the last position, which leaves an empty item there.
// Once item i has met the later items nothing changes up to position i, so positions
// are settled one at a time. The unsettled items are a linked list whose nodes are also
// linked per value, in order, followed by a run of one value (the tail) held as a count:
// the filling only lengthens it. Each node is removed at most once, and finding the
// later items equal to item i costs about what it removes. Everything lives in a few
// arrays sized once: a list of a hundred items makes no allocation per item or value.
class DuplicateRemoval {
public:
    explicit DuplicateRemoval(std::string_view list)
        : list_(list), count_(countListItems(list)), ids_(static_cast<size_t>(count_) + 1) {
        Items items = split(list);
        items.resize(static_cast<size_t>(count_));
        size_t room = items.size() + 1;
        byValue_.reserve(room), nodes_.reserve(room), settled_.reserve(room);
        std::vector<int> values;
        values.reserve(items.size());
        for (std::string_view item : items) values.push_back(idOf(item));
        // Items all different, as a site's list is: no pair is equal.
        unchanged_ = ids_.values().size() == items.size();
        empty_ = idOf({});
        if (unchanged_) return;
        tail_ = values.back();
        size_t end = values.size();
        while (end > 0 && values[end - 1] == tail_) --end, ++tailLength_;
        for (size_t i = 0; i < end; ++i) append(values[i]);
    }

    std::string result() {
        if (unchanged_) return std::string(list_);
        for (int position = 1; position <= count_; ++position) {
            int later = count_ - position;
            if (listEnds_.first != kNone) {
                int value = settle(listEnds_.first);
                meetLaterItems(value);
            } else {
                // Every later item equals this one: the last comparison empties the
                // last position, and removes nothing else that shows.
                settled_.push_back(tail_);
                --tailLength_;
                if (later == 0) break;
                removed_ = lastWasAtEnd_ = true;
                if (tail_ == empty_) break;
                emptyLastPosition();
            }
        }
        settled_.insert(settled_.end(), static_cast<size_t>(tailLength_), tail_);
        if (!removed_) return std::string(list_);
        // After a removal before the last position, the filled-in last item is not listed.
        if (!lastWasAtEnd_) settled_.pop_back();
        return join(settled_.size(),
                    [this](size_t i) { return ids_.values()[static_cast<size_t>(settled_[i])]; });
    }

private:
    static constexpr int kNone = -1;
    // Two links: the unsettled items in order, and those of one value in order.
    struct Links {
        int previous = kNone, next = kNone;
    };
    struct Node {
        int value;
        Links inList, ofValue;
    };
    struct Ends {
        int first = kNone, last = kNone;
    };
    using Chain = Links Node::*;

    int idOf(std::string_view text) {
        auto [id, added] = ids_.number(text);
        if (added) byValue_.emplace_back();
        return id;
    }

    Node& at(int node) { return nodes_[static_cast<size_t>(node)]; }

    void link(Ends& ends, Chain chain, int node) {
        (at(node).*chain).previous = ends.last;
        (ends.last == kNone ? ends.first : (at(ends.last).*chain).next) = node;
        ends.last = node;
    }
    void unlink(Ends& ends, Chain chain, int node) {
        const Links& n = at(node).*chain;
        (n.previous == kNone ? ends.first : (at(n.previous).*chain).next) = n.next;
        (n.next == kNone ? ends.last : (at(n.next).*chain).previous) = n.previous;
    }
    Ends& ofValue(int value) { return byValue_[static_cast<size_t>(value)]; }

    void append(int value) {
        int node = static_cast<int>(nodes_.size());
        nodes_.push_back({value, {}, {}});
        link(listEnds_, &Node::inList, node);
        link(ofValue(value), &Node::ofValue, node);
    }
    void remove(int node) {
        unlink(listEnds_, &Node::inList, node);
        unlink(ofValue(at(node).value), &Node::ofValue, node);
    }

    // The first unsettled node is its value's first unsettled occurrence.
    int settle(int node) {
        int value = at(node).value;
        remove(node);
        settled_.push_back(value);
        return value;
    }

    // Item i against each later item: an equal one is removed, and the item that moves
    // into its position is not compared (the next comparison is one position further).
    void meetLaterItems(int value) {
        int notCompared = kNone, removed = 0;
        for (int node = ofValue(value).first, next; node != kNone; node = next) {
            next = at(node).ofValue.next;
            if (node == notCompared) {
                notCompared = kNone;
                continue;
            }
            notCompared = at(node).inList.next;
            remove(node);
            ++removed;
        }
        tailLength_ += removed;  // the last item fills in for each removed one
        if (value == tail_) {
            // The last position then holds this value too: compared last, it is emptied.
            removed_ = lastWasAtEnd_ = true;
            if (tail_ != empty_) emptyLastPosition();
        } else if (removed > 0) {
            removed_ = true;
            lastWasAtEnd_ = false;
            joinTail();
        }
    }

    // The tail's run but its last item become nodes; the last position is empty.
    void emptyLastPosition() {
        for (int i = 1; i < tailLength_; ++i) append(tail_);
        tail_ = empty_;
        tailLength_ = 1;
        joinTail();
    }

    // Nodes at the end with the tail's value belong to its run.
    void joinTail() {
        while (listEnds_.last != kNone && at(listEnds_.last).value == tail_) {
            remove(listEnds_.last);
            ++tailLength_;
        }
    }

    std::string_view list_;
    int count_;
    ItemNumbers ids_;
    std::vector<Ends> byValue_;
    std::vector<Node> nodes_;
    Ends listEnds_;
    int tail_ = kNone, tailLength_ = 0, empty_ = kNone;
    std::vector<int> settled_;
    bool unchanged_ = false, removed_ = false, lastWasAtEnd_ = false;
};

// The process-wide generator of the shuffle: never reseeded, so two shuffles in one
// second still differ. Threads take turns with it.
std::mt19937& generator() {
    static std::mt19937 engine{std::random_device{}()};
    return engine;
}
std::mutex generatorTurn;

}  // namespace

int countListItems(std::string_view list) {
    if (list.empty()) return 0;
    return static_cast<int>(countCommas(list.substr(0, list.size() - 1))) + 1;
}

std::string getListItem(std::string_view list, int n) {
    return std::string(itemAt(split(list), n));
}

std::vector<std::string> listItems(std::string_view list) {
    Items items = split(list);
    return {items.begin(), items.begin() + countListItems(list)};
}

std::string removeListItem(std::string_view list, int count, int n) {
    Items items = split(list);
    std::string result;
    result.reserve(list.size() + 1);
    result += itemAt(items, 1);
    if (count > 1) result += ",";
    for (int i = 2; i <= count; ++i) {
        if (i == n) continue;
        result += itemAt(items, i);
        if (i < count) result += ",";
    }
    return result;
}

std::string removeDuplicateItems(std::string_view list) {
    return DuplicateRemoval(list).result();
}

std::string reverseList(std::string_view list) {
    Items items = split(list);
    std::reverse(items.begin(), items.end());
    return join(items);
}

std::string distinctItems(std::string_view list) {
    return join(distinct(list));
}

std::string shufflePorts(std::string_view list) {
    // Each draw chooses among the items not chosen yet, so the shuffle ends after one
    // draw per item, whatever the list holds.
    Items items = distinct(list), chosen;
    chosen.reserve(items.size());
    std::string name = text::upper(getLocalHostName());
    long long sum = 0, second = platform::clock().now().second;
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::lock_guard turn(generatorTurn);
    while (!items.empty()) {
        for (unsigned char c : name) sum += c;
        // How many numbers are skipped only varies the choice; a bound keeps long lists fast.
        generator().discard(static_cast<unsigned long long>((second + sum) % 64));
        double r = uniform(generator());
        int n = static_cast<int>(items.size());
        float x = static_cast<float>(r * n + 1);
        int position = static_cast<int>(std::nearbyint(std::round(x * 100.0f) / 100.0f));
        std::string_view& item = items[static_cast<size_t>(std::clamp(position, 1, n) - 1)];
        chosen.push_back(item);
        item = items.back();
        items.pop_back();
    }
    std::string result = join(chosen);
    return sum % 2 == 0 ? reverseList(result) : result;
}

}  // namespace trellybridge::tcp
