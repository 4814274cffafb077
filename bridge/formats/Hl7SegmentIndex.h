// A segment with its field separators located once, so that the parser reads any field
// without searching again. For every segment that getHL7Record returns it yields exactly
// what getHL7Field(segment, "|", level) yields; for any other text it asks getHL7Field.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace trellybridge::hl7 {

class SegmentIndex {
public:
    explicit SegmentIndex(std::string_view segment);
    // The wrapped field, as getHL7Field with "|" returns it.
    std::string_view field(long level) const;
    std::string_view text() const { return segment_; }

private:
    std::string_view segment_;
    std::vector<std::uint32_t> separators_;  // 0-based positions of "|"
    bool indexed_ = false;
};

// Every place a tag occurs in a message, found in one pass by the rule getHL7Record
// follows, so that record(n) equals getHL7Record(message, tag, n).
class RecordIndex {
public:
    RecordIndex(std::string_view message, std::string_view tag);
    std::string_view record(long occurrence) const;

private:
    std::string_view message_;
    std::vector<std::uint32_t> hits_;  // 0-based positions
};

}  // namespace trellybridge::hl7
