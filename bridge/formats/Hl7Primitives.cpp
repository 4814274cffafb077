#include "formats/Hl7Primitives.h"

#include <algorithm>
#include <stdexcept>

#include "common/BridgeConfiguration.h"

namespace trellybridge::hl7 {
namespace {

constexpr char CR = '\r';

// Basic's InStr: the 1-based position of `pattern` at or after `start`, 0 when absent.
long instr(long start, std::string_view text, std::string_view pattern) {
    if (start < 1) start = 1;
    if (static_cast<size_t>(start) > text.size()) return 0;
    size_t from = static_cast<size_t>(start - 1);
    // The parser reads through its indexes; these searches serve the public methods and
    // the checks held against them, over whole messages, where the library's search pays.
    size_t found = pattern.size() == 1 ? text.find(pattern[0], from) : text.find(pattern, from);
    return found == std::string_view::npos ? 0 : static_cast<long>(found) + 1;
}

// Basic's Mid: `length` characters from the 1-based `start`.
std::string_view mid(std::string_view text, long start, long length) {
    if (start < 1 || static_cast<size_t>(start) > text.size() || length <= 0) return {};
    return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length));
}

// countOccurrences(text, pattern) >= wanted, without counting past what is wanted.
bool hasOccurrences(std::string_view text, std::string_view pattern, long wanted) {
    if (pattern.empty()) return wanted <= 0;
    long count = 0;
    if (pattern.size() == 1) {
        for (size_t found = text.find(pattern[0]); found != std::string_view::npos;
             found = text.find(pattern[0], found + 1))
            if (++count >= wanted) return true;
        return count >= wanted;
    }
    for (size_t found = text.find(pattern); found != std::string_view::npos && count < wanted;
         found = text.find(pattern, found + 1))
        ++count;
    return count >= wanted;
}

}  // namespace

std::string_view getHL7Record(std::string_view stream, std::string_view tag, long occurrence) {
    long p = 0;
    for (long i = 1; i <= occurrence; ++i) {
        p = instr(p + 1, stream, tag);
        if (p == 0) return {};
        if (i == occurrence) {
            long e = instr(p, stream, std::string_view(&CR, 1));
            return e > p ? mid(stream, p, e - p + 1) : std::string_view();
        }
        p += 1;
    }
    return {};
}

std::string_view getHL7Field(std::string_view stream, std::string_view tag, long level) {
    long s = 0, n = 0;
    if (level == 1) {
        s = instr(1, stream, tag);
        n = s ? instr(s + 1, stream, tag) : 0;
    } else if (level > 1) {
        if (!hasOccurrences(stream, tag, level)) return {};
        long p = 1;
        for (long i = 0; i < level; ++i) p = instr(p + 1, stream, tag);
        s = p;
        n = instr(s + 1, stream, tag);
    }
    long e = n ? n + 1 : instr(s + 1, stream, std::string_view(&CR, 1)) + 1;
    if (s < 1) s = 1;
    if (e < s) e = instr(static_cast<long>(stream.size()), stream, tag) + 1;
    return e <= s ? std::string_view() : mid(stream, s, e - s);
}

// A plain run of digits is read directly; anything else goes through the full conversion.
char requireComponentTerminator(const BridgeConfiguration& config) {
    const Variant& setting = config.EOLCharacter;
    std::string_view digits = setting.textView();
    if (!digits.empty() && digits.size() <= 3 &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int code = 0;
        for (char c : digits) code = code * 10 + (c - '0');
        if (code <= 255) return static_cast<char>(static_cast<unsigned char>(code));
    }
    return getASCII(setting.toText())[0];
}

std::optional<char> componentTerminator(const BridgeConfiguration& config) {
    try {
        return requireComponentTerminator(config);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string_view getHL7SubField(std::string_view stream, std::string_view outerTag,
                                std::string_view tag, long level, char terminator) {
    if (!verifySubFields(stream, tag, level) || instr(1, stream, tag) == 0) return {};
    long s = 0;
    if (level == 1) {
        s = instr(1, stream, outerTag);
    } else {
        long p = 1;
        for (long counter = 1; counter < level;) {
            p = instr(p + 1, stream, tag);
            ++counter;
            if (p == 0 || p >= static_cast<long>(stream.size())) break;
        }
        s = p;
    }
    long nt = instr(s + 1, stream, tag);
    long no = instr(s + 1, stream, outerTag);
    long e = nt ? nt + 1 : no ? no + 1 : instr(s + 1, stream, std::string_view(&terminator, 1)) + 1;
    if (s < 1) s = 1;
    return e > s ? mid(stream, s, e - s) : std::string_view();
}

bool verifySubFields(std::string_view stream, std::string_view tag, long level) {
    long count = 0;
    if (tag.size() == 1 && !stream.empty()) {
        std::string_view counted = stream.substr(0, stream.size() - 1);
        for (size_t found = counted.find(tag[0]); found != std::string_view::npos;
             found = counted.find(tag[0], found + 1))
            ++count;
    }
    return count >= level - 1;
}

std::string getASCII(std::string_view code) {
    auto number = Variant(std::string(code)).toWholeNumber();
    if (!number) throw std::invalid_argument("Type mismatch");
    if (*number < 0 || *number > 255)
        throw std::invalid_argument("Invalid procedure call or argument");
    return std::string(1, static_cast<char>(static_cast<unsigned char>(*number)));
}

std::string stripDelimiters(std::string_view wrapped, bool removeQuotes) {
    if (wrapped.size() <= 1) return {};
    std::string value(wrapped.substr(1, wrapped.size() - 2));
    if (removeQuotes) std::erase(value, '"');
    return value;
}

long countOccurrences(std::string_view text, std::string_view pattern) {
    if (pattern.empty()) return 0;
    if (pattern.size() == 1)
        return static_cast<long>(std::count(text.begin(), text.end(), pattern[0]));
    long count = 0;
    for (size_t found = text.find(pattern); found != std::string_view::npos;
         found = text.find(pattern, found + 1))
        ++count;
    return count;
}

std::string filterStateCode(std::string_view state) {
    return state.size() == 2 && state != "-1" ? std::string(state) : std::string();
}

}  // namespace trellybridge::hl7
