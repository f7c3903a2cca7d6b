#pragma once
// What the file and history layers return: a value, or the message a person reads about why
// there is none. The message is complete ("history.sqlite: database is locked"); callers add
// only what they know more (which unit, which command), never a second wording of it.

#include <QString>

#include <optional>
#include <utility>

namespace Quilo {

// The failing side of a Result, so that `return Failed{text};` converts to any Result<T>.
struct Failed {
    QString message;
};

template <typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failed failure) : m_error(std::move(failure.message)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only on success: a failed result has no value.
    const T &value() const & { return *m_value; }
    T &value() & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const T &operator*() const & { return *m_value; }
    const T *operator->() const { return &*m_value; }
    T valueOr(T fallback) const { return m_value ? *m_value : std::move(fallback); }

    const QString &error() const { return m_error; }
    // The same failure, to pass on from a function of another result type.
    Failed failure() const { return Failed{m_error}; }

private:
    std::optional<T> m_value;
    QString m_error;
};

template <>
class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failed failure) : m_failed(true), m_error(std::move(failure.message)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString &error() const { return m_error; }
    Failed failure() const { return Failed{m_error}; }

private:
    bool m_failed = false;
    QString m_error;
};

using Done = Result<void>;

} // namespace Quilo
