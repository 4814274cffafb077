// A COM-style variant: the one value type of the component's public interface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "trellybridge/Export.h"

namespace trellybridge {

// Anything a variant can hold by reference (the dispatchable objects).
class TRELLYBRIDGE_API Object {
public:
    virtual ~Object() = default;
};

class TRELLYBRIDGE_API Variant {
public:
    enum class Kind { Empty, Boolean, Integer, Double, Text, Object };

    Variant() = default;
    Variant(bool value) : value_(value) {}
    Variant(int value) : value_(static_cast<std::int64_t>(value)) {}
    Variant(long value) : value_(static_cast<std::int64_t>(value)) {}
    Variant(long long value) : value_(static_cast<std::int64_t>(value)) {}
    Variant(double value) : value_(value) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(std::string_view value) : value_(std::string(value)) {}
    Variant(const char* value) : value_(std::string(value)) {}
    Variant(std::shared_ptr<Object> value) : value_(std::move(value)) {}

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isTrue() const { return kind() == Kind::Boolean && std::get<bool>(value_); }

    // The text a Basic host would see: numbers in decimal, Booleans as "True"/"False".
    std::string toText() const;
    // Case folding of the text; a Boolean folds to "true" / "false".
    std::string lowerText() const;
    std::string upperText() const;
    // Empty variant or empty text.
    bool isEmptyText() const;

    // The strict conversion: nullopt when the value is not a number (empty text included).
    std::optional<double> toNumber() const;
    // Strict conversion to a whole number, rounding halves to even; nullopt on failure.
    std::optional<std::int64_t> toWholeNumber() const;
    // The lenient conversion: the leading number of the text, 0 when there is none.
    double numericValue() const;

    std::shared_ptr<Object> object() const;
    // Makes the variant hold this text, reusing the storage of text it already holds.
    void assignText(std::string_view text) {
        if (auto* held = std::get_if<std::string>(&value_)) {
            held->clear();  // clear and append take the simple path of assign
            held->append(text);
        } else
            value_ = std::string(text);
    }
    // The held text without a copy; empty unless the variant holds text.
    std::string_view textView() const {
        return kind() == Kind::Text ? std::string_view(std::get<std::string>(value_))
                                    : std::string_view();
    }

    bool operator==(const Variant& other) const = default;

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, std::shared_ptr<Object>>
        value_;
};

}  // namespace trellybridge
