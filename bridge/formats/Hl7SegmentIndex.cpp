#include "formats/Hl7SegmentIndex.h"

#include <bit>

#include "formats/ByteScan.h"
#include "formats/Hl7Primitives.h"

namespace trellybridge::hl7 {
namespace {

// Does `tag` stand at `at`, its first character known to match? Tags are a few
// characters: compared in place rather than through a library call.
bool continuesWith(std::string_view text, size_t at, std::string_view tag) {
    if (text.size() - at < tag.size()) return false;
    for (size_t i = 1; i < tag.size(); ++i)
        if (text[at + i] != tag[i]) return false;
    return true;
}

// The first two characters of a few tags (one for a one-character tag), looked for
// sixteen places at a time.
class TagOpenings {
public:
    void add(std::string_view tag) {
        char first = tag[0], second = tag.size() > 1 ? tag[1] : '\0';
        bool single = tag.size() == 1;
        for (size_t i = 0; i < count_; ++i)
            if (firstCharacters_[i] == first && secondCharacters_[i] == second &&
                single_[i] == single)
                return;
        firstCharacters_[count_] = first;
        secondCharacters_[count_] = second;
        single_[count_] = single;
        firsts_[count_] = scan::repeated(first);
        seconds_[count_] = scan::repeated(second);
        anySecond_[count_] = single ? ~scan::Mask{} : scan::Mask{};
        ++count_;
    }
    // Flags the places p[0..15] where an opening stands (reads p[16] too).
    scan::Mask at(const char* p) const {
        scan::Block here = scan::load(p), next = scan::load(p + 1);
        scan::Mask found{};
        for (size_t i = 0; i < count_; ++i)
            found |=
                scan::equal(here, firsts_[i]) & (scan::equal(next, seconds_[i]) | anySecond_[i]);
        return found;
    }

private:
    static constexpr size_t kMax = MessageIndex::kMaxTags;
    std::array<char, kMax> firstCharacters_{}, secondCharacters_{};
    std::array<bool, kMax> single_{};
    std::array<scan::Block, kMax> firsts_, seconds_;
    std::array<scan::Mask, kMax> anySecond_;
    size_t count_ = 0;
};

}  // namespace

void PositionList::locate(std::string_view text, char separator) {
    scan::forEachOf(text, 0, text.size(), separator, [&](size_t at) {
        add(static_cast<std::uint32_t>(at));
        return true;
    });
}

SegmentIndex::SegmentIndex(std::string_view segment) : segment_(segment) {
    // The shape getHL7Record gives: a tag first, one carriage return, at the very end.
    indexed_ = !segment.empty() && segment.front() != '|' && segment.back() == '\r' &&
               segment.find('\r') == segment.size() - 1;
}

std::string_view SegmentIndex::field(long level) const {
    if (!indexed_) return getHL7Field(segment_, "|", level);
    // Segments are short and most of their fields are read: all separators at once.
    if (!located_) {
        separators_.locate(segment_, '|');
        located_ = true;
    }
    if (level < 1 || separators_.empty()) return level > 1 ? std::string_view() : segment_;
    size_t count = separators_.size();
    if (static_cast<size_t>(level) > count) return {};
    size_t start = separators_[static_cast<size_t>(level) - 1];
    size_t end = static_cast<size_t>(level) < count ? separators_[static_cast<size_t>(level)]
                                                    : segment_.size() - 1;
    return segment_.substr(start, end - start + 1);
}

ComponentIndex::ComponentIndex(std::string_view field, std::optional<char> terminator)
    : field_(field), terminator_(terminator) {
    // The shape SegmentIndex::field gives: "|" first, "|" or a carriage return last,
    // neither anywhere between.
    if (field.size() < 2 || field.front() != '|' || (field.back() != '|' && field.back() != '\r'))
        return;
    const scan::Block caret = scan::repeated('^'), bar = scan::repeated('|'),
                      cr = scan::repeated('\r');
    auto separatorOrEnd = [&](const char* p) {
        scan::Block block = scan::load(p);
        return scan::equal(block, caret) | scan::equal(block, bar) | scan::equal(block, cr);
    };
    bool wellFormed = true;
    scan::forEach(field, 1, field.size() - 1, separatorOrEnd, [&](size_t at) {
        if (field[at] != '^') return wellFormed = false;
        separators_.add(static_cast<std::uint32_t>(at));
        return true;
    });
    indexed_ = wellFormed;
}

std::string_view ComponentIndex::component(long level) const {
    // Without a valid terminator every lookup fails; the primitive reports that.
    if (!indexed_ || !terminator_) return getHL7SubField(field_, "|", "^", level);
    long count = static_cast<long>(separators_.size());
    if (count == 0 || count < level - 1) return {};
    size_t start = level <= 1 ? 0 : separators_[static_cast<size_t>(level) - 2];
    size_t end;
    if (level <= 1) {
        end = separators_[0];
    } else if (level <= count) {
        end = separators_[static_cast<size_t>(level) - 1];
    } else if (field_.back() == '|') {
        end = field_.size() - 1;
    } else {
        end = field_.find(*terminator_, start + 1);
        if (end == std::string_view::npos) return {};
    }
    return field_.substr(start, end - start + 1);
}

namespace {

// The first place in `places` at or after `from`, or npos.
size_t firstAtOrAfter(const PositionList& places, size_t from) {
    size_t low = 0, high = places.size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (places[middle] < from)
            low = middle + 1;
        else
            high = middle;
    }
    return low < places.size() ? places[low] : std::string_view::npos;
}

}  // namespace

RepetitionIndex::RepetitionIndex(std::string_view field, std::optional<char> terminator)
    : field_(field), terminator_(terminator) {
    tildes_.locate(field, '~');
    if (!terminator_) return;
    bars_.locate(field, '|');
    ends_.locate(field, *terminator_);
}

// getHL7SubField's steps, 1-based as it counts, with every search answered from the
// places located once.
std::string_view RepetitionIndex::repetition(long level) const {
    // Without a valid terminator every lookup fails; the primitive reports that.
    if (!terminator_) return getHL7SubField(field_, "|", "~", level);
    size_t counted = tildes_.size();  // verifySubFields never looks at the last character
    if (counted > 0 && field_.back() == '~') --counted;
    if (tildes_.empty() || static_cast<long>(counted) < level - 1) return {};

    // The 1-based place the repetition starts at; 0 for none.
    size_t s;
    if (level == 1) {
        size_t bar = firstAtOrAfter(bars_, 0);
        s = bar == std::string_view::npos ? 0 : bar + 1;
    } else if (level < 1) {
        s = 1;
    } else {
        // The search for the (level - 1)-th "~" starts at the second character. It runs
        // out only when the count above took in a "~" standing first, and then finds none.
        size_t skipped = field_.front() == '~' ? 1 : 0;
        size_t seen = tildes_.size() - skipped;
        size_t wanted = static_cast<size_t>(level - 1);
        s = wanted <= seen ? tildes_[skipped + wanted - 1] + 1 : 0;
    }

    // The end: the next "~", else the next "|", else the next terminator (all 1-based).
    auto next = [&](const PositionList& places) -> size_t {
        size_t at = firstAtOrAfter(places, s);
        return at == std::string_view::npos ? 0 : at + 1;
    };
    size_t e;
    if (size_t tilde = next(tildes_))
        e = tilde + 1;
    else if (size_t bar = next(bars_))
        e = bar + 1;
    else
        e = next(ends_) + 1;
    if (s < 1) s = 1;
    if (e <= s) return {};
    return field_.substr(s - 1, e - s);
}

MessageIndex::MessageIndex(std::string_view message, std::initializer_list<std::string_view> tags)
    : message_(message) {
    // Places are first filtered by the first two characters of the tags, then the tags
    // starting with the character found there are compared whole.
    TagOpenings openings;
    std::array<std::uint8_t, 256> tagsStartingWith{};
    size_t count = 0;
    for (std::string_view tag : tags) {
        if (count == kMaxTags) break;
        tags_[count] = tag;
        if (!tag.empty()) {
            openings.add(tag);
            tagsStartingWith[static_cast<unsigned char>(tag[0])] |=
                static_cast<std::uint8_t>(1u << count);
        }
        ++count;
    }
    auto opensATag = [&openings](const char* p) { return openings.at(p); };
    // After each hit the next search for that tag starts two characters on, as
    // getHL7Record's does.
    std::array<size_t, kMaxTags> nextAllowed{};
    scan::forEach<1>(message, 0, message.size(), opensATag, [&](size_t at) {
        unsigned candidates = tagsStartingWith[static_cast<unsigned char>(message[at])];
        for (; candidates != 0; candidates &= candidates - 1) {
            size_t t = static_cast<size_t>(std::countr_zero(candidates));
            if (at >= nextAllowed[t] && continuesWith(message, at, tags_[t])) {
                hits_[t].add(static_cast<std::uint32_t>(at));
                nextAllowed[t] = at + 2;
            }
        }
        return true;
    });
}

std::string_view MessageIndex::record(size_t tag, long occurrence) const {
    if (tag >= kMaxTags || occurrence < 1 || static_cast<size_t>(occurrence) > hits_[tag].size())
        return {};
    size_t start = hits_[tag][static_cast<size_t>(occurrence) - 1];
    size_t end = message_.find('\r', start);
    return end == std::string_view::npos || end <= start ? std::string_view()
                                                         : message_.substr(start, end - start + 1);
}

}  // namespace trellybridge::hl7
