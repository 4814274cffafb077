#include "trellybridge/Variant.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace trellybridge {
namespace {

std::string numberText(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return {};
    std::string text(buffer, end);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return text;
}

std::string folded(std::string text, int (*fold)(int)) {
    for (char& c : text) c = static_cast<char>(fold(static_cast<unsigned char>(c)));
    return text;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Parses a whole decimal number (sign, digits, point, exponent) filling all of `text`.
std::optional<double> parseWholeText(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    double value = 0;
    auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return negative ? -value : value;
}

}  // namespace

std::string Variant::toText() const {
    switch (kind()) {
        case Kind::Empty:
        case Kind::Object: return {};
        case Kind::Boolean: return std::get<bool>(value_) ? "True" : "False";
        case Kind::Integer: return std::to_string(std::get<std::int64_t>(value_));
        case Kind::Double: return numberText(std::get<double>(value_));
        case Kind::Text: return std::get<std::string>(value_);
    }
    return {};
}

std::string Variant::lowerText() const {
    return folded(toText(), ::tolower);
}
std::string Variant::upperText() const {
    return folded(toText(), ::toupper);
}

bool Variant::isEmptyText() const {
    return isEmpty() || (kind() == Kind::Text && std::get<std::string>(value_).empty());
}

std::optional<double> Variant::toNumber() const {
    switch (kind()) {
        case Kind::Empty: return 0.0;
        case Kind::Boolean: return std::get<bool>(value_) ? -1.0 : 0.0;
        case Kind::Integer: return static_cast<double>(std::get<std::int64_t>(value_));
        case Kind::Double: return std::get<double>(value_);
        case Kind::Text: return parseWholeText(std::get<std::string>(value_));
        case Kind::Object: return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::int64_t> Variant::toWholeNumber() const {
    auto number = toNumber();
    if (!number || !std::isfinite(*number) || std::fabs(*number) > 9.2e18) return std::nullopt;
    return static_cast<std::int64_t>(std::nearbyint(*number));  // default rounding: halves to even
}

double Variant::numericValue() const {
    if (kind() != Kind::Text) return toNumber().value_or(0.0);
    // Blanks are ignored anywhere; the number ends at the first character that cannot continue it.
    std::string digits;
    bool seenPoint = false, seenExponent = false, seenDigit = false;
    for (char c : std::get<std::string>(value_)) {
        if (isBlank(c)) continue;
        bool sign = c == '+' || c == '-';
        if (sign && (digits.empty() || digits.back() == 'e')) {
            digits += c;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            digits += c;
            seenDigit = true;
        } else if (c == '.' && !seenPoint && !seenExponent) {
            digits += c;
            seenPoint = true;
        } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && seenDigit && !seenExponent) {
            digits += 'e';
            seenExponent = true;
        } else {
            break;
        }
    }
    while (!digits.empty() && !std::isdigit(static_cast<unsigned char>(digits.back())) &&
           digits.back() != '.')
        digits.pop_back();
    if (!seenDigit) return 0.0;
    double value = 0;
    const char* begin = digits.data();
    if (*begin == '+') ++begin;
    std::from_chars(begin, digits.data() + digits.size(), value, std::chars_format::general);
    return value;
}

std::shared_ptr<Object> Variant::object() const {
    return kind() == Kind::Object ? std::get<std::shared_ptr<Object>>(value_) : nullptr;
}

}  // namespace trellybridge
