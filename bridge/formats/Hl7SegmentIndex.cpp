#include "formats/Hl7SegmentIndex.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

constexpr size_t kChunkBytes = 4 * scan::kBlockBytes;
static_assert(kChunkBytes == 64, "a chunk is one word of bits");

// The marks of `chunks` chunks from `p`, sixteen characters a step: any processor.
void markChunks(const char* p, size_t chunks, CharacterMarks* out) {
    const scan::Block cr = scan::repeated('\r'), lf = scan::repeated('\n'),
                      bar = scan::repeated('|'), caret = scan::repeated('^'),
                      tilde = scan::repeated('~');
    for (size_t c = 0; c < chunks; ++c, p += kChunkBytes) {
        CharacterMarks marks{};
        for (size_t b = 0; b < kChunkBytes / scan::kBlockBytes; ++b) {
            scan::Block block = scan::load(p + b * scan::kBlockBytes);
            unsigned shift = static_cast<unsigned>(b * scan::kBlockBytes);
            scan::Mask crs = scan::equal(block, cr);
            marks.crs |= std::uint64_t{scan::bits(crs)} << shift;
            marks.lineEnds |= std::uint64_t{scan::bits(crs | scan::equal(block, lf))} << shift;
            marks.bars |= std::uint64_t{scan::bits(scan::equal(block, bar))} << shift;
            marks.carets |= std::uint64_t{scan::bits(scan::equal(block, caret))} << shift;
            marks.tildes |= std::uint64_t{scan::bits(scan::equal(block, tilde))} << shift;
        }
        out[c] = marks;
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same, a chunk a step where the processor compares sixty-four characters at once
// into a word of bits: the marks were the most of the index's time.
__attribute__((target("avx512bw"))) void markChunksAvx512(const char* p, size_t chunks,
                                                          CharacterMarks* out) {
    using Chunk = char __attribute__((vector_size(64)));
    const Chunk cr = Chunk{} + '\r', lf = Chunk{} + '\n', bar = Chunk{} + '|',
                caret = Chunk{} + '^', tilde = Chunk{} + '~';
    constexpr unsigned long long kEvery = ~0ULL;  // every lane compared
    constexpr int kEqual = 0;
    for (size_t c = 0; c < chunks; ++c, p += kChunkBytes) {
        Chunk block;
        std::memcpy(&block, p, sizeof block);
        // Each compare gives a word of bits, the first lane lowest. (A helper, even a
        // lambda, would be compiled without the processor feature.)
        std::uint64_t crs = __builtin_ia32_cmpb512_mask(block, cr, kEqual, kEvery);
        out[c] = {crs | __builtin_ia32_cmpb512_mask(block, lf, kEqual, kEvery), crs,
                  __builtin_ia32_cmpb512_mask(block, bar, kEqual, kEvery),
                  __builtin_ia32_cmpb512_mask(block, caret, kEqual, kEvery),
                  __builtin_ia32_cmpb512_mask(block, tilde, kEqual, kEvery)};
    }
}
#endif

}  // namespace

void markCharacters(std::string_view message, CharacterMarks* out, Marking marking) {
    using Marker = void (*)(const char*, size_t, CharacterMarks*);
    static const Marker fastest = [] {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
        if (__builtin_cpu_supports("avx512bw")) return &markChunksAvx512;
#endif
        return &markChunks;
    }();
    Marker mark = marking == Marking::Fastest ? fastest : &markChunks;
    size_t whole = message.size() / kChunkBytes, left = message.size() % kChunkBytes;
    mark(message.data(), whole, out);
    if (left == 0) return;
    std::array<char, kChunkBytes> padded{};
    std::copy_n(message.data() + whole * kChunkBytes, left, padded.begin());
    mark(padded.data(), 1, out + whole);
}

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

SegmentIndex::SegmentIndex(std::string_view segment, const MessageIndex* index,
                           const SeparatorSpan& span)
    : segment_(segment),
      index_(index),
      bars_(index->bars_.get() + span.firstBar),
      count_(span.lastBar - span.firstBar),
      offset_(static_cast<std::uint32_t>(segment.data() - index->message_.data())),
      // A span runs from a tag to the first carriage return after it: the shape above.
      indexed_(true) {}

// A segment of any other shape: getHL7Field's answer, or its "|" located once (segments
// are short and most of their fields are read).
std::string_view SegmentIndex::locatedField(long level) const {
    if (!indexed_) return getHL7Field(segment_, "|", level);
    if (!located_) {
        separators_.locate(segment_, '|');
        located_ = true;
    }
    size_t count = separators_.size();
    if (level < 1 || count == 0) return level > 1 ? std::string_view() : segment_;
    if (static_cast<size_t>(level) > count) return {};
    size_t n = static_cast<size_t>(level);
    size_t start = separators_[n - 1], end = n < count ? separators_[n] : segment_.size() - 1;
    return segment_.substr(start, end - start + 1);
}

ComponentIndex SegmentIndex::components(long level) const {
    std::string_view wrapped = field(level);
    if (!index_ || wrapped.size() < 2) return ComponentIndex(wrapped);
    return ComponentIndex(wrapped, *index_);
}

// The "^" up to the first "~" between the opening and the closing character, read from
// the index's bits a word at a time.
ComponentIndex::ComponentIndex(std::string_view field, const MessageIndex& index)
    : field_(field), end_(field.size() - 1) {
    const size_t offset = static_cast<size_t>(field.data() - index.message_.data());
    if (field.size() <= 64) {
        // A field of up to 64 characters (nearly all): one word of its bits, from its start.
        auto fromStart = [&](auto bits) {
            size_t word = offset / 64, shift = offset % 64;
            std::uint64_t value = bits(word) >> shift;
            if (shift != 0 && word + 1 < index.words_) value |= bits(word + 1) << (64 - shift);
            // Between the opening character (bit 0) and the closing one (bit end_).
            return value & ((std::uint64_t{1} << end_) - 1) & ~std::uint64_t{1};
        };
        std::uint64_t carets = fromStart([&](size_t w) { return index.carets(w); });
        std::uint64_t tildes = fromStart([&](size_t w) { return index.tildes(w); });
        if (tildes != 0) {
            end_ = static_cast<size_t>(std::countr_zero(tildes));
            carets &= (tildes & (~tildes + 1)) - 1;  // those before the "~"
        }
        for (; carets != 0; carets &= carets - 1)
            carets_.add(static_cast<std::uint32_t>(std::countr_zero(carets)));
        return;
    }
    const size_t first = offset + 1, last = offset + end_;  // [first, last)
    for (size_t word = first / 64; word * 64 < last; ++word) {
        std::uint64_t inside = ~std::uint64_t{0};
        if (word == first / 64) inside &= ~std::uint64_t{0} << (first % 64);
        if ((word + 1) * 64 > last) inside &= (std::uint64_t{1} << (last % 64)) - 1;
        std::uint64_t carets = index.carets(word) & inside;
        std::uint64_t tildes = index.tildes(word) & inside;
        if (tildes != 0) carets &= (tildes & (~tildes + 1)) - 1;  // those before the "~"
        auto base = static_cast<std::uint32_t>(word * 64 - offset);
        for (; carets != 0; carets &= carets - 1)
            carets_.add(base + static_cast<std::uint32_t>(std::countr_zero(carets)));
        if (tildes != 0) {
            end_ = word * 64 + static_cast<size_t>(std::countr_zero(tildes)) - offset;
            return;
        }
    }
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
    std::array<Span*, kMaxTags * kIndexedOccurrences> open;  // [0, opened) hold
    size_t opened = 0, barCount = 0;
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
            span = {static_cast<std::uint32_t>(barCount), 0, 0, false};
            open[opened++] = &span;
        }
    };
    auto endLine = [&](size_t at) {
        for (size_t i = 0; i < opened; ++i)
            *open[i] = {open[i]->firstBar, static_cast<std::uint32_t>(barCount),
                        static_cast<std::uint32_t>(at), true};
        opened = 0;
    };
    segmentAt(0);
    words_ = (message.size() + kChunkBytes - 1) / kChunkBytes;
    marks_ = std::make_unique_for_overwrite<CharacterMarks[]>(words_);
    markCharacters(message, marks_.get());
    size_t barRoom = 0, expected = std::clamp<size_t>(message.size() / 4, 64, 4096);
    // Room for a whole chunk of "|" before each chunk: written without a check each.
    auto room = [&] {
        if (barRoom - barCount >= kChunkBytes) return;
        barRoom = std::max(expected, 2 * barRoom);
        auto larger = std::make_unique_for_overwrite<std::uint32_t[]>(barRoom);
        std::copy_n(bars_.get(), barCount, larger.get());
        bars_ = std::move(larger);
    };
    // The "|" of the segments being indexed, of the chunk at `from`.
    auto keepBars = [&](size_t from, std::uint64_t bars) {
        std::uint32_t* out = bars_.get() + barCount;
        auto base = static_cast<std::uint32_t>(from);
        for (; bars != 0; bars &= bars - 1)
            *out++ = base + static_cast<std::uint32_t>(std::countr_zero(bars));
        barCount = static_cast<size_t>(out - bars_.get());
    };
    // Sixty-four characters at a time: the line ends, and between them the "|" of the
    // segments being indexed.
    for (size_t word = 0; word < words_; ++word) {
        const CharacterMarks& chunk = marks_[word];
        size_t from = word * kChunkBytes;
        if (chunk.lineEnds == 0 && opened == 0) continue;
        room();
        std::uint64_t bars = chunk.bars;
        for (std::uint64_t lineEnds = chunk.lineEnds; lineEnds != 0; lineEnds &= lineEnds - 1) {
            unsigned lane = static_cast<unsigned>(std::countr_zero(lineEnds));
            std::uint64_t before = (std::uint64_t{1} << lane) - 1;
            if (opened > 0) keepBars(from, bars & before);
            bars &= ~before;
            if (chunk.crs >> lane & 1) endLine(from + lane);
            segmentAt(from + lane + 1);
        }
        if (opened > 0) keepBars(from, bars);
    }
}

SegmentIndex MessageIndex::segment(size_t tag, long occurrence) const {
    if (tag >= kMaxTags || occurrence < 1 ||
        static_cast<size_t>(occurrence) > std::min(kIndexedOccurrences, hits_[tag].size()) ||
        !spans_[tag][static_cast<size_t>(occurrence) - 1].closed)
        return SegmentIndex(record(tag, occurrence));
    const Span& span = spans_[tag][static_cast<size_t>(occurrence) - 1];
    size_t start = hits_[tag][static_cast<size_t>(occurrence) - 1];
    return SegmentIndex(message_.substr(start, span.end - start + 1), this, span);
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
