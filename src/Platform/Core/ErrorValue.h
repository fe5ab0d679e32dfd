#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"

#include <optional>

namespace core {

// An error where only values go (notification user info, dictionaries): a
// value holding an object that carries the error.
class ErrorObject : public Object {
public:
    explicit ErrorObject(Error error) : m_error(std::move(error)) { }
    const Error& error() const { return m_error; }
    std::string description() const override { return m_error.description(); }

private:
    Error m_error;
};

inline Value errorValue(const Error& error)
{
    return Value(std::make_shared<ErrorObject>(error));
}

// The error a value carries; nothing for any other value.
inline std::optional<Error> errorFromValue(const Value& value)
{
    if (auto object = value.objectAs<ErrorObject>())
        return object->error();
    return std::nullopt;
}

} // namespace core
