// What a step of a request gives back: its value, or the failure that stopped it. The
// steps only say what failed; the engine records it (the error list drops what is
// recorded while an attempt runs, as before) and notes it for people.
//
// Shaped like C++23's std::expected (has_value, value, error, operator bool, operator*,
// and Unexpected for a failure), which the compilers this builds with do not have yet,
// so that it can be swapped for it.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "common/Errors.h"
#include "common/FailureNote.h"

namespace trellybridge {

struct Failure {
    std::optional<errc> code;  // the error the engine records; none when it records nothing
    std::string detail;        // what failed, for the failure notes; empty for no note
    FailureKind kind = FailureKind::Unreachable;
};

template <typename E>
class Unexpected {
public:
    explicit Unexpected(E error) : error_(std::move(error)) {}
    const E& error() const& { return error_; }
    E&& error() && { return std::move(error_); }

private:
    E error_;
};

template <typename T, typename E = Failure>
class [[nodiscard]] Expected {
public:
    Expected() requires std::is_default_constructible_v<T> : value_(std::in_place_index<0>) {}
    Expected(T value)
        : value_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: as std::expected
    Expected(Unexpected<E> failure)                            // NOLINT: as std::expected
        : value_(std::in_place_index<1>, std::move(failure).error()) {}

    bool has_value() const { return value_.index() == 0; }
    explicit operator bool() const { return has_value(); }
    const T& value() const& { return std::get<0>(value_); }
    T& value() & { return std::get<0>(value_); }
    T&& value() && { return std::get<0>(std::move(value_)); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }
    const E& error() const& { return std::get<1>(value_); }
    template <typename U>
    T value_or(U&& otherwise) const& {
        return has_value() ? value() : static_cast<T>(std::forward<U>(otherwise));
    }

private:
    std::variant<T, E> value_;
};

template <typename E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    Expected(Unexpected<E> failure)
        : error_(std::move(failure).error()) {}  // NOLINT: as std::expected

    bool has_value() const { return !error_.has_value(); }
    explicit operator bool() const { return has_value(); }
    void value() const {}
    const E& error() const& { return *error_; }

private:
    std::optional<E> error_;
};

// The failure of a step: the error the engine records, and what to note of it.
inline Unexpected<Failure> fails(errc code, std::string detail = {},
                                 FailureKind kind = FailureKind::Unreachable) {
    return Unexpected<Failure>(Failure{code, std::move(detail), kind});
}
// A failure that is only noted: nothing goes to the error list.
inline Unexpected<Failure> failsWithNote(std::string detail,
                                         FailureKind kind = FailureKind::Unreachable) {
    return Unexpected<Failure>(Failure{std::nullopt, std::move(detail), kind});
}

}  // namespace trellybridge
