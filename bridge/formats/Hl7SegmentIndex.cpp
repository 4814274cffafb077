#include "formats/Hl7SegmentIndex.h"

#include "formats/Hl7Primitives.h"

namespace trellybridge::hl7 {

size_t SeparatorPositions::locate(std::string_view text, char separator, size_t from, size_t to,
                                  size_t enough) {
    size_t i = from;
    for (; i < to && count_ < enough; ++i)
        if (text[i] == separator) add(static_cast<std::uint32_t>(i));
    return i;
}

SegmentIndex::SegmentIndex(std::string_view segment) : segment_(segment) {
    // The shape getHL7Record gives: a tag first, one carriage return, at the very end.
    indexed_ = !segment.empty() && segment.front() != '|' && segment.back() == '\r' &&
               segment.find('\r') == segment.size() - 1;
}

std::string_view SegmentIndex::field(long level) const {
    if (!indexed_) return getHL7Field(segment_, "|", level);
    // The field ends at the next separator: know one more than the level.
    size_t wanted = level < 1 ? 1 : static_cast<size_t>(level) + 1;
    if (separators_.size() < wanted && scanned_ < segment_.size())
        scanned_ = separators_.locate(segment_, '|', scanned_, segment_.size(), wanted);
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
    for (size_t i = 1; i + 1 < field.size(); ++i) {
        char c = field[i];
        if (c == '^') separators_.add(static_cast<std::uint32_t>(i));
        if (c == '|' || c == '\r') return;
    }
    indexed_ = true;
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
    size_t t = 0;
    for (std::string_view tag : tags) {
        if (t == kMaxTags) break;
        std::vector<std::uint32_t>& hits = hits_[t++];
        if (tag.empty()) continue;
        // After each hit the next search starts two characters on, as getHL7Record's does.
        for (size_t at = message.find(tag); at != std::string_view::npos;
             at = message.find(tag, at + 2))
            hits.push_back(static_cast<std::uint32_t>(at));
    }
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
