#include "formats/Hl7SegmentIndex.h"

#include <algorithm>
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

void SegmentIndex::locate() const {
    located_ = true;
    if (!index_) return separators_.locate(segment_, '|');
    auto start = static_cast<std::uint32_t>(segment_.data() - index_->message_.data());
    for (std::uint32_t entry = first_; entry < last_; ++entry) {
        std::uint32_t at = index_->separators_[entry];
        if (index_->message_[at] != '|') continue;
        separators_.add(at - start);
        entries_.add(entry);
    }
}

std::string_view SegmentIndex::field(long level) const {
    if (!indexed_) return getHL7Field(segment_, "|", level);
    // Segments are short and most of their fields are read: all separators at once.
    if (!located_) locate();
    if (level < 1 || separators_.empty()) return level > 1 ? std::string_view() : segment_;
    size_t count = separators_.size();
    if (static_cast<size_t>(level) > count) return {};
    size_t start = separators_[static_cast<size_t>(level) - 1];
    size_t end = static_cast<size_t>(level) < count ? separators_[static_cast<size_t>(level)]
                                                    : segment_.size() - 1;
    return segment_.substr(start, end - start + 1);
}

ComponentIndex SegmentIndex::components(long level) const {
    std::string_view wrapped = field(level);
    if (!indexed_ || !index_ || level < 1 || static_cast<size_t>(level) > entries_.size())
        return ComponentIndex(wrapped);
    // The separators between this field's "|" and the next one (or the segment's end).
    const std::uint32_t* list = index_->separators_.data();
    size_t n = static_cast<size_t>(level);
    return ComponentIndex(wrapped, index_->message_, list + entries_[n - 1] + 1,
                          list + (n < entries_.size() ? entries_[n] : last_));
}

ComponentIndex::ComponentIndex(std::string_view field) : field_(field) {
    if (field.size() < 2) return;
    // Between the opening and the closing character: the "^" up to the first "~".
    const scan::Block caret = scan::repeated('^'), tilde = scan::repeated('~');
    auto separator = [&](const char* p) {
        scan::Block block = scan::load(p);
        return scan::equal(block, caret) | scan::equal(block, tilde);
    };
    end_ = field.size() - 1;
    scan::forEach(field, 1, field.size() - 1, separator, [&](size_t at) {
        if (field[at] == '~') {
            end_ = at;
            return false;
        }
        carets_.add(static_cast<std::uint32_t>(at));
        return true;
    });
}

ComponentIndex::ComponentIndex(std::string_view field, std::string_view message,
                               const std::uint32_t* inside, const std::uint32_t* end)
    : field_(field), end_(field.size() - 1) {
    auto start = static_cast<std::uint32_t>(field.data() - message.data());
    for (; inside < end; ++inside) {
        if (message[*inside] == '~') {
            end_ = *inside - start;
            return;
        }
        if (message[*inside] == '^') carets_.add(*inside - start);
    }
}

std::string_view ComponentIndex::component(long level) const {
    if (field_.size() < 2 || level < 1 || static_cast<size_t>(level) > carets_.size() + 1)
        return {};
    size_t n = static_cast<size_t>(level);
    size_t start = n == 1 ? 0 : carets_[n - 2];
    size_t end = n <= carets_.size() ? carets_[n - 1] : end_;
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
    // Without a valid terminator every lookup fails; the caller says why.
    if (!terminator_) return {};
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
    std::array<std::uint8_t, 256> tagsStartingWith{};
    size_t count = 0;
    for (std::string_view tag : tags) {
        if (count == kMaxTags) break;
        tags_[count] = tag;
        if (!tag.empty())
            tagsStartingWith[static_cast<unsigned char>(tag[0])] |=
                static_cast<std::uint8_t>(1u << count);
        ++count;
    }
    // The spans of the indexed segments begun since the last carriage return, which ends
    // them all (a line feed starts a segment but ends none).
    std::array<Span*, kMaxTags * kIndexedOccurrences> open{};
    size_t opened = 0;
    // Is a segment with one of the tags starting at `at`?
    auto segmentAt = [&](size_t at) {
        if (at >= message.size()) return;
        unsigned candidates = tagsStartingWith[static_cast<unsigned char>(message[at])];
        for (; candidates != 0; candidates &= candidates - 1) {
            size_t t = static_cast<size_t>(std::countr_zero(candidates));
            size_t after = at + tags_[t].size();
            if (after >= message.size() || message[after] != '|' ||
                !continuesWith(message, at, tags_[t]))
                continue;
            hits_[t].add(static_cast<std::uint32_t>(at));
            if (hits_[t].size() > kIndexedOccurrences) continue;
            Span& span = spans_[t][hits_[t].size() - 1];
            span.first = static_cast<std::uint32_t>(separators_.size());
            open[opened++] = &span;
        }
    };
    segmentAt(0);
    separators_.reserve(std::min<size_t>(message.size() / 4, 4096));
    const scan::Block cr = scan::repeated('\r'), lf = scan::repeated('\n'),
                      bar = scan::repeated('|'), caret = scan::repeated('^'),
                      tilde = scan::repeated('~');
    auto separator = [&](const char* p) {
        scan::Block block = scan::load(p);
        return scan::equal(block, cr) | scan::equal(block, lf) | scan::equal(block, bar) |
               scan::equal(block, caret) | scan::equal(block, tilde);
    };
    scan::forEach(message, 0, message.size(), separator, [&](size_t at) {
        char c = message[at];
        if (c != '\r' && c != '\n') {
            if (opened > 0) separators_.push_back(static_cast<std::uint32_t>(at));
            return true;
        }
        if (c == '\r') {
            for (size_t i = 0; i < opened; ++i)
                *open[i] = {open[i]->first, static_cast<std::uint32_t>(separators_.size()), true};
            opened = 0;
        }
        segmentAt(at + 1);
        return true;
    });
}

SegmentIndex MessageIndex::segment(size_t tag, long occurrence) const {
    SegmentIndex segment(record(tag, occurrence));
    if (tag >= kMaxTags || occurrence < 1 || static_cast<size_t>(occurrence) > kIndexedOccurrences)
        return segment;
    const Span& span = spans_[tag][static_cast<size_t>(occurrence) - 1];
    if (span.closed && segment.indexed_) {
        segment.index_ = this;
        segment.first_ = span.first;
        segment.last_ = span.last;
    }
    return segment;
}

std::string_view MessageIndex::record(size_t tag, long occurrence) const {
    if (tag >= kMaxTags || occurrence < 1 || static_cast<size_t>(occurrence) > hits_[tag].size())
        return {};
    size_t start = hits_[tag][static_cast<size_t>(occurrence) - 1];
    size_t end = message_.find('\r', start);
    return end == std::string_view::npos ? std::string_view()
                                         : message_.substr(start, end - start + 1);
}

}  // namespace trellybridge::hl7
