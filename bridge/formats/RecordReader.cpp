#include "formats/RecordReader.h"

#include "common/BridgeConfiguration.h"
#include "common/RequestSettings.h"
#include "common/Text.h"
#include "formats/ByteScan.h"

namespace trellybridge::formats {
namespace {

std::optional<char> characterCode(const Variant& setting) {
    auto code = setting.toWholeNumber();
    if (!code || *code < 0 || *code > 255) return std::nullopt;
    return static_cast<char>(static_cast<unsigned char>(*code));
}

char endOfFileCode(const Variant& setting) {
    if (auto code = characterCode(setting)) return *code;
    throw ParseFailure("EOFCharacter is not one character code");
}

}  // namespace

RecordReader::RecordReader(std::string_view answer, const BridgeConfiguration& config)
    : answer_(answer),
      endOfLine_(characterCode(config.EOLCharacter)),
      endOfFile_(endOfFileCode(config.EOFCharacter)) {}

// The first end character at or after the read position, looked for sixteen at a time;
// the answer's length when there is none.
size_t RecordReader::recordEnd() const {
    const hl7::scan::Block endOfFile = hl7::scan::repeated(endOfFile_),
                           lineEnd = hl7::scan::repeated(endOfLine_.value_or('\r')),
                           otherLineEnd = hl7::scan::repeated(endOfLine_.value_or('\n'));
    auto ends = [&](const char* p) {
        hl7::scan::Block block = hl7::scan::load(p);
        return hl7::scan::equal(block, endOfFile) | hl7::scan::equal(block, lineEnd) |
               hl7::scan::equal(block, otherLineEnd);
    };
    size_t end = answer_.size();
    hl7::scan::forEach(answer_, position_, answer_.size(), ends, [&end](size_t at) {
        end = at;
        return false;
    });
    return end;
}

std::string_view RecordReader::next() {
    // Characters are taken up to and including the first end character.
    size_t end = recordEnd();
    if (end == answer_.size()) {
        lastRead_ = position_ < answer_.size() ? static_cast<unsigned char>(answer_.back()) : -1;
        position_ = answer_.size();
        throw ParseFailure("a record has no end character");
    }
    std::string_view taken = answer_.substr(position_, end + 1 - position_);
    position_ = end + 1;
    lastRead_ = static_cast<unsigned char>(answer_[end]);
    // CR LF is one line end: its LF starts no record of its own.
    if (!endOfLine_ && answer_[end] == '\r' && position_ < answer_.size() &&
        answer_[position_] == '\n')
        ++position_;
    size_t first = taken.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    taken = taken.substr(first, taken.find_last_not_of(' ') - first + 1);
    if (taken.front() == '\n') taken.remove_prefix(1);
    return taken;
}

std::string_view trimTrailingBlanks(std::string_view value) {
    size_t last = value.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : value.substr(0, last + 1);
}

std::string cleanSsn(std::string_view value) {
    // Removing every dash and then every blank, one pass rather than one per character.
    std::string digits(value);
    std::erase_if(digits, [](char c) { return c == '-' || c == ' '; });
    return Variant(digits).numericValue() == 0 ? std::string() : digits;
}

bool sameIdentifier(const RequestSettings& settings, std::string_view returned) {
    const std::string& requested = settings.patientId;
    if (!settings.caseSensitive) return text::upper(requested) == text::upper(returned);
    return requested == returned;
}

}  // namespace trellybridge::formats
