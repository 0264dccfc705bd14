// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <optional>
#include <type_traits>
#include <utility>

// What an operation gives back: its value, or the plain-words reason it failed. The reason travels
// with the result, so no caller can read an error left over from an earlier call.
struct Failure
{
    QString message;
};

// Read it like std::optional. The error is a Failure's message, or an error type of the caller's
// choosing that says more (what kind of failure it was, say).
template <typename T, typename Error = Failure> class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Error error) : m_error(std::move(error)) {}

    bool has_value() const { return m_value.has_value(); }
    explicit operator bool() const { return has_value(); }
    const T &operator*() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T *operator->() const { return &*m_value; }
    // Why there is no value; meaningful only then.
    decltype(auto) error() const
    {
        if constexpr (std::is_same_v<Error, Failure>)
            return (m_error.message);
        else
            return (m_error);
    }

private:
    std::optional<T> m_value;
    Error m_error;
};

// The result of an operation that gives nothing back but success.
struct Done
{};
using Status = Result<Done>;
