// The result of work that can fail with a reason: a value or an error, in the shape of C++23's
// std::expected, which this compiler's library does not have yet. "Absent" without a reason is
// std::optional; -errno stays at the system-call floor of src/platform.
#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace platform {

// Why something failed: a text for the user (one line, no final stop), and the errno when the
// system gave one.
struct Error {
    QString text;
    int code = 0;
};

template <typename E> struct Unexpected {
    E error;
};

template <typename E> Unexpected(E) -> Unexpected<E>;

// A failure with this reason, for returning as any Expected.
inline Unexpected<Error> Fail(QString text, int code = 0)
{
    return {Error{std::move(text), code}};
}

template <typename T, typename E = Error> class Expected {
public:
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    template <typename G>
    Expected(Unexpected<G> failure) : m_state(std::in_place_index<1>, std::move(failure.error))
    {
    }

    bool has_value() const { return m_state.index() == 0; }
    explicit operator bool() const { return has_value(); }
    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const E& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

template <typename E> class Expected<void, E> {
public:
    Expected() = default;
    template <typename G> Expected(Unexpected<G> failure) : m_error(std::move(failure.error)), m_failed(true) {}

    bool has_value() const { return !m_failed; }
    explicit operator bool() const { return has_value(); }
    const E& error() const { return m_error; }

private:
    E m_error{};
    bool m_failed = false;
};

} // namespace platform
