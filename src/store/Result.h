// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <optional>
#include <utility>

// What an operation gives back: its value, or the plain-words reason it failed. The reason travels
// with the result, so no caller can read an error left over from an earlier call.
struct Failure
{
    QString message;
};

template <typename T> class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_error(std::move(failure.message)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &operator*() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T *operator->() const { return &*m_value; }
    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

// The result of an operation that gives nothing back but success.
struct Done
{};
using Status = Result<Done>;
