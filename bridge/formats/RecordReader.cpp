#include "formats/RecordReader.h"

#include "common/BridgeConfiguration.h"
#include "common/Text.h"

namespace trellybridge::formats {
namespace {

char characterCode(const Variant& setting, const char* name) {
    auto code = setting.toWholeNumber();
    if (!code || *code < 0 || *code > 255)
        throw ParseFailure(std::string(name) + " is not one character code");
    return static_cast<char>(static_cast<unsigned char>(*code));
}

}  // namespace

RecordReader::RecordReader(std::string_view answer, const BridgeConfiguration& config)
    : answer_(answer),
      endOfLine_(characterCode(config.EOLCharacter, "EOLCharacter")),
      endOfFile_(characterCode(config.EOFCharacter, "EOFCharacter")) {}

std::string RecordReader::next() {
    std::string record;
    lastRead_ = -1;
    while (true) {
        if (lastRead_ == static_cast<unsigned char>(endOfLine_) ||
            lastRead_ == static_cast<unsigned char>(endOfFile_))
            break;
        if (position_ >= answer_.size()) throw ParseFailure("a record has no end character");
        char c = answer_[position_++];
        record += c;
        lastRead_ = static_cast<unsigned char>(c);
    }
    record = text::trimSpaces(record);
    if (!record.empty() && record[0] == '\n') record.erase(0, 1);
    return record;
}

std::string trimTrailingBlanks(std::string_view value) {
    size_t last = value.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string() : std::string(value.substr(0, last + 1));
}

std::string cleanSsn(std::string_view value) {
    std::string digits = text::replaceAll(text::replaceAll(value, "-", ""), " ", "");
    return Variant(digits).numericValue() == 0 ? std::string() : digits;
}

bool sameIdentifier(const BridgeConfiguration& config, std::string_view returned) {
    std::string requested = config.PatientID.toText();
    if (config.CaseSensitivity.toText() == "false")
        return text::upper(requested) == text::upper(returned);
    return requested == returned;
}

}  // namespace trellybridge::formats
