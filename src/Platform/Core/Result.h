#pragma once

#include "Platform/Core/Assert.h"
#include "Platform/Core/Error.h"

#include <type_traits>
#include <utility>
#include <variant>

namespace core {

// What a function that can fail returns: its value, or the error that kept
// it from one, never both and never a value that stands for a failure.
//
//     Result<Staged> stage(...);
//     auto staged = stage(...);
//     if (!staged)
//         return staged.error();
//     use(*staged);
//
// Result<void> is a success or an error.
template<typename T>
class [[nodiscard]] Result {
    static_assert(!std::is_same_v<std::decay_t<T>, Error>, "an error is not a value");

public:
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Error error)
        : m_state(std::in_place_index<1>, std::move(error))
    {
        TANDRY_ASSERT(!std::get<1>(m_state).isEmpty());
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value()
    {
        TANDRY_ASSERT(ok());
        return std::get<0>(m_state);
    }
    const T& value() const
    {
        TANDRY_ASSERT(ok());
        return std::get<0>(m_state);
    }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const
    {
        TANDRY_ASSERT(!ok());
        return std::get<1>(m_state);
    }

private:
    std::variant<T, Error> m_state;
};

template<>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error)
        : m_error(std::move(error))
    {
        TANDRY_ASSERT(!m_error.isEmpty());
    }

    bool ok() const { return m_error.isEmpty(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const
    {
        TANDRY_ASSERT(!ok());
        return m_error;
    }

private:
    Error m_error;
};

} // namespace core
