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
