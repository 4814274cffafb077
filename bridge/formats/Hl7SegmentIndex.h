// Indexes that let the HL7 parser read a message without searching it again and again.
// Each yields exactly what the positional primitive it stands for yields (a differential
// test and the fuzz target hold them to that); for text of any other shape they ask the
// primitive itself.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

namespace trellybridge::hl7 {

// Positions in a text, in order: inline for the usual few, on the heap beyond.
class PositionList {
public:
    // Adds the positions of `separator` in the text.
    void locate(std::string_view text, char separator);
    void add(std::uint32_t position) {
        if (count_ < kInline)
            inline_[count_] = position;
        else
            overflow_.push_back(position);
        ++count_;
    }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::uint32_t operator[](size_t i) const {
        return i < kInline ? inline_[i] : overflow_[i - kInline];
    }

private:
    static constexpr size_t kInline = 72;
    std::array<std::uint32_t, kInline> inline_;
    std::vector<std::uint32_t> overflow_;
    size_t count_ = 0;
};

// A segment as getHL7Record returns it; field(level) == getHL7Field(segment, "|", level).
// Separators are located when the first field is asked for.
class SegmentIndex {
public:
    explicit SegmentIndex(std::string_view segment);
    std::string_view field(long level) const;
    std::string_view text() const { return segment_; }

private:
    std::string_view segment_;
    mutable PositionList separators_;
    mutable bool located_ = false;
    bool indexed_ = false;
};

// A field as SegmentIndex::field returns it; component(level) ==
// getHL7SubField(field, "|", "^", level). `terminator` is componentTerminator(),
// read once by the caller.
class ComponentIndex {
public:
    ComponentIndex(std::string_view field, std::optional<char> terminator);
    std::string_view component(long level) const;

private:
    std::string_view field_;
    std::optional<char> terminator_;
    PositionList separators_;
    bool indexed_ = false;
};

// The repetitions of a field, for any text: repetition(level) ==
// getHL7SubField(field, "|", "~", level), each found without searching the field again.
// `terminator` is componentTerminator(), read once by the caller.
class RepetitionIndex {
public:
    RepetitionIndex(std::string_view field, std::optional<char> terminator);
    std::string_view repetition(long level) const;
    // The "~" in the field.
    size_t separators() const { return tildes_.size(); }

private:
    std::string_view field_;
    std::optional<char> terminator_;
    PositionList tildes_, bars_, ends_;
};

// Every place each of a few tags occurs in a message, found in one pass by getHL7Record's
// rule; record(t, n) == getHL7Record(message, tags[t], n).
class MessageIndex {
public:
    static constexpr size_t kMaxTags = 8;
    MessageIndex(std::string_view message, std::initializer_list<std::string_view> tags);
    std::string_view record(size_t tag, long occurrence) const;

private:
    std::string_view message_;
    std::array<std::string_view, kMaxTags> tags_;
    std::array<PositionList, kMaxTags> hits_;  // 0-based positions per tag
};

}  // namespace trellybridge::hl7
