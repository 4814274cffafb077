// Reads the records (lines) of a STANDARD or SCAN answer: each ends with the end-of-line
// character or the end-of-file character, which stays at the end of the record text. An
// EOLCharacter that is not one character code (the pages' "13,10", or none) ends a
// record at CR, LF or CR LF, as real answers carry them.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace trellybridge {

struct BridgeConfiguration;
struct RequestSettings;

namespace formats {

// A parse that cannot go on: a bad setting, or a record without its end character.
struct ParseFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class RecordReader {
public:
    // Throws ParseFailure when EOFCharacter is not one character code.
    RecordReader(std::string_view answer, const BridgeConfiguration& config);

    // The next record, trimmed of blanks and of a leading line feed: a view into the
    // answer. Throws ParseFailure when the answer ends before the record's end character.
    std::string_view next();
    // The 1-based read position and the length of the answer, as the parsers' loops test them.
    size_t position() const { return position_ + 1; }
    size_t length() const { return answer_.size(); }
    bool lastReadWasEndOfFile() const {
        return lastRead_ == static_cast<unsigned char>(endOfFile_);
    }
    char endOfFile() const { return endOfFile_; }

private:
    size_t recordEnd() const;

    std::string_view answer_;
    size_t position_ = 0;
    std::optional<char> endOfLine_;  // none: CR, LF or CR LF
    char endOfFile_;
    int lastRead_ = -1;
};

// Trailing blanks removed; leading blanks stay.
std::string_view trimTrailingBlanks(std::string_view value);
// Dashes and blanks removed; empty when what is left is no number other than 0.
std::string cleanSsn(std::string_view value);
// Does the returned identifier answer the request? Case-blind when CaseSensitivity is "false".
bool sameIdentifier(const RequestSettings& settings, std::string_view returned);

}  // namespace formats
}  // namespace trellybridge
