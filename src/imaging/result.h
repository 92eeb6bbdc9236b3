// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cassert>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace ombrel {

// A value, or the problem that kept it from being made: how every fallible
// call of the core and of the picture files answers. The problem is a code
// (with a text function beside it, one per domain), never bare words.
template <typename T, typename E>
class [[nodiscard]] Result {
    static_assert(!std::is_same_v<T, E>);

public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {} // NOLINT: implicit by design
    Result(E error) : v_(std::in_place_index<1>, std::move(error)) {} // NOLINT

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T &value() & { return *std::get_if<0>(&checked()); }
    const T &value() const & { return *std::get_if<0>(&checked()); }
    T &&value() && { return std::move(*std::get_if<0>(&checked())); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }
    T &&operator*() && { return std::move(*this).value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    T value_or(T fallback) const { return ok() ? value() : fallback; }

    const E &error() const {
        assert(!ok());
        return *std::get_if<1>(&v_);
    }

private:
    std::variant<T, E> &checked() {
        assert(ok());
        return v_;
    }
    const std::variant<T, E> &checked() const {
        assert(ok());
        return v_;
    }

    std::variant<T, E> v_;
};

// Done, or the problem.
template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E error) : error_(std::move(error)) {} // NOLINT: implicit by design

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const E &error() const {
        assert(!ok());
        return *error_;
    }

private:
    std::optional<E> error_;
};

} // namespace ombrel
