#include "formats/Hl7SegmentIndex.h"

#include "formats/Hl7Primitives.h"

namespace trellybridge::hl7 {

SegmentIndex::SegmentIndex(std::string_view segment) : segment_(segment) {
    // The shape getHL7Record gives: a tag first, one carriage return, at the very end.
    if (segment.empty() || segment.front() == '|' || segment.back() != '\r' ||
        segment.find('\r') != segment.size() - 1)
        return;
    for (size_t i = 0; i < segment.size(); ++i)
        if (segment[i] == '|') separators_.push_back(static_cast<std::uint32_t>(i));
    indexed_ = true;
}

std::string_view SegmentIndex::field(long level) const {
    if (!indexed_) return getHL7Field(segment_, "|", level);
    if (level < 1 || separators_.empty()) return level > 1 ? std::string_view() : segment_;
    if (static_cast<size_t>(level) > separators_.size()) return {};
    size_t start = separators_[static_cast<size_t>(level) - 1];
    size_t end = static_cast<size_t>(level) < separators_.size() ? separators_[static_cast<size_t>(level)]
                                                                 : segment_.size() - 1;
    return segment_.substr(start, end - start + 1);
}

RecordIndex::RecordIndex(std::string_view message, std::string_view tag) : message_(message) {
    if (tag.empty()) return;
    // After each hit the next search starts two characters on, as getHL7Record's does.
    for (size_t found = message.find(tag); found != std::string_view::npos; found = message.find(tag, found + 2))
        hits_.push_back(static_cast<std::uint32_t>(found));
}

std::string_view RecordIndex::record(long occurrence) const {
    if (occurrence < 1 || static_cast<size_t>(occurrence) > hits_.size()) return {};
    size_t start = hits_[static_cast<size_t>(occurrence) - 1];
    size_t end = message_.find('\r', start);
    return end == std::string_view::npos || end <= start ? std::string_view()
                                                         : message_.substr(start, end - start + 1);
}

}  // namespace trellybridge::hl7
