// Indexes that let the HL7 parser read a message without searching it again and again.
// Fields and repetitions are read as the positional primitives read them (a differential
// test and the fuzz target hold them to that; for text of any other shape they ask the
// primitive itself). Segments and components are read as real feeds need: a segment tag
// counts only where a segment starts, and a component never runs into the next
// repetition.
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

// The components of a field as SegmentIndex::field returns it ("|A^B~C|"), wrapped like
// the primitives' results: the character before the component and the one that ends it
// ("^", "~" or the field's closing character). Components are those of the first
// repetition; a field without "^" is its own first component.
class ComponentIndex {
public:
    explicit ComponentIndex(std::string_view field);
    std::string_view component(long level) const;

private:
    std::string_view field_;
    PositionList carets_;  // the "^" of the first repetition
    size_t end_ = 0;       // where the first repetition ends: its "~" or the closing character
};

// The repetitions of a field, for any text: repetition(level) ==
// getHL7SubField(field, "|", "~", level, *terminator), each found without searching the
// field again. `terminator` is componentTerminator(settings), read once by the caller;
// without one every repetition is empty.
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

// The segments of a message with each of a few tags, found in one pass. A segment starts
// the message or follows a carriage return or a line feed, and its tag is followed by
// "|"; record(t, n) is the n-th one through the carriage return that ends it, or empty
// text (as getHL7Record gives it, but never a tag inside another segment).
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
