#pragma once

// Any PDF object of an open document. References are resolved on access;
// an unresolvable reference reads as null.

#include "Platform/PDF/Handle.h"
#include "Platform/PDF/String.h"

#include <cstdint>
#include <string>

namespace pdf {

class Array;
class Dictionary;
class Stream;

enum class ObjectType { Null, Boolean, Integer, Real, Name, String, Array, Dictionary, Stream };

class Object : public Handle {
public:
    Object() = default;
    // Any handle seen as an object.
    Object(const Handle& handle) : Handle(handle) { }

    ObjectType type() const;

    // The value when the object has that type (a number is an integer or a
    // real; names come without their "/"); false and `out` untouched
    // otherwise.
    bool boolean(bool& out) const;
    bool integer(int64_t& out) const;
    bool number(double& out) const;
    bool name(std::string& out) const;
    bool string(String& out) const;
    bool array(Array& out) const;
    bool dictionary(Dictionary& out) const;
    bool stream(Stream& out) const;
};

} // namespace pdf
