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
#include <memory>
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

class MessageIndex;
class ComponentIndex;

// Sixty-four characters of a message, one bit per character, the first lowest: the line
// ends (carriage return or line feed), the carriage returns, and the "|", "^" and "~".
struct CharacterMarks {
    std::uint64_t lineEnds, crs, bars, carets, tildes;
    bool operator==(const CharacterMarks&) const = default;
};

// The marks of a message, ceil(size / 64) of them into `out`, the last chunk read as if
// padded with zero bytes: the fastest way this processor has, or the portable one (what
// a processor without wide compares gets, and what the fastest is tested against).
enum class Marking { Fastest, Portable };
void markCharacters(std::string_view message, CharacterMarks* out,
                    Marking marking = Marking::Fastest);

// Where a message index lists the "|" of one of its segments: [firstBar, lastBar) of its
// list; `end` is its carriage return. Left unset until its segment is found (a message
// index holds 96 of them, most never used).
struct SeparatorSpan {
    std::uint32_t firstBar, lastBar, end;
    bool closed;
};

// A segment as getHL7Record returns it; field(level) == getHL7Field(segment, "|", level).
// A segment from a message index (MessageIndex::segment) finds its fields there; any other
// locates its "|" when the first field is asked for.
class SegmentIndex {
public:
    explicit SegmentIndex(std::string_view segment);
    // Inline for a segment of a message index: the parser asks for a field scores of times.
    std::string_view field(long level) const {
        if (!bars_) return locatedField(level);
        if (level < 1 || count_ == 0) return level > 1 ? std::string_view() : segment_;
        if (static_cast<size_t>(level) > count_) return {};
        size_t n = static_cast<size_t>(level);
        size_t start = bars_[n - 1] - offset_;
        size_t end = n < count_ ? bars_[n] - offset_ : segment_.size() - 1;
        return segment_.substr(start, end - start + 1);
    }
    // The components of field(level), as ComponentIndex(field(level)) gives them.
    ComponentIndex components(long level) const;
    std::string_view text() const { return segment_; }

private:
    friend class MessageIndex;
    SegmentIndex(std::string_view segment, const MessageIndex* index, const SeparatorSpan& span);
    std::string_view locatedField(long level) const;

    std::string_view segment_;
    // The message index this segment's "|" are listed in: count_ of them from bars_, as
    // places in its message, where the segment starts at offset_.
    const MessageIndex* index_ = nullptr;
    const std::uint32_t* bars_ = nullptr;
    size_t count_ = 0;
    std::uint32_t offset_ = 0;
    mutable PositionList separators_;  // without an index: the "|", located once
    mutable bool located_ = false;
    bool indexed_ = false;
};

// The components of a field as SegmentIndex::field returns it ("|A^B~C|"), wrapped like
// the primitives' results: the character before the component and the one that ends it
// ("^", "~" or the field's closing character). Components are those of the first
// repetition; a field without "^" is its own first component. A field of a message index
// (SegmentIndex::components) finds its separators in the index's bits; any other locates
// them.
class ComponentIndex {
public:
    explicit ComponentIndex(std::string_view field);
    std::string_view component(long level) const {
        if (field_.size() < 2 || level < 1 || static_cast<size_t>(level) > carets_.size() + 1)
            return {};
        size_t n = static_cast<size_t>(level);
        size_t start = n == 1 ? 0 : carets_[n - 2];
        size_t end = n <= carets_.size() ? carets_[n - 1] : end_;
        return field_.substr(start, end - start + 1);
    }

private:
    friend class SegmentIndex;
    ComponentIndex(std::string_view field, const MessageIndex& index);

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
// text (as getHL7Record gives it, but never a tag inside another segment). The same pass
// lists the "|" of the first kIndexedOccurrences segments of each tag, so that
// segment(t, n) looks its fields up rather than searching them, and marks every "^" and
// "~", so that their components are found without searching either.
class MessageIndex {
public:
    static constexpr size_t kMaxTags = 8;
    static constexpr size_t kIndexedOccurrences = 12;
    MessageIndex(std::string_view message, std::initializer_list<std::string_view> tags);
    std::string_view record(size_t tag, long occurrence) const;
    SegmentIndex segment(size_t tag, long occurrence) const;

private:
    friend class SegmentIndex;
    friend class ComponentIndex;
    using Span = SeparatorSpan;
    std::string_view message_;
    // The marks of each sixty-four characters, made in one pass before the segments are
    // walked; components are found in them later.
    std::unique_ptr<CharacterMarks[]> marks_;
    size_t words_ = 0;
    std::uint64_t carets(size_t word) const { return marks_[word].carets; }
    std::uint64_t tildes(size_t word) const { return marks_[word].tildes; }
    std::array<std::string_view, kMaxTags> tags_;
    std::array<PositionList, kMaxTags> hits_;  // 0-based positions per tag
    // Of the indexed segments, in message order; written without being cleared first.
    std::unique_ptr<std::uint32_t[]> bars_;
    std::array<std::array<Span, kIndexedOccurrences>, kMaxTags> spans_;
};

}  // namespace trellybridge::hl7
