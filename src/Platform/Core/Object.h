#pragma once

#include "Platform/Core/Value.h"

#include <memory>
#include <string>
#include <string_view>

namespace core {

// Base of every type with identity (resources, controllers, managers,
// connections). Made by a static create() or a factory and held by
// std::shared_ptr; back references are std::weak_ptr.
class Object : public std::enable_shared_from_this<Object> {
public:
    virtual ~Object();

    // The class's name without namespaces ("VKFileResource").
    virtual std::string className() const;
    // "<VKFileResource: 0x5581...>" unless a class says more.
    virtual std::string description() const;

    // Identity unless a class defines equality; hash() must agree with it.
    virtual bool isEqual(const Object& other) const { return this == &other; }
    virtual size_t hash() const { return std::hash<const void*>()(this); }

    // Key-value access for key paths and predicates. Classes answer their
    // keys; the default throws NSUnknownKeyException.
    virtual Value valueForKey(std::string_view key) const;
    virtual void setValueForKey(const Value& value, std::string_view key);

    template<typename T> std::shared_ptr<T> sharedAs() { return std::dynamic_pointer_cast<T>(shared_from_this()); }
    template<typename T> std::shared_ptr<const T> sharedAs() const { return std::dynamic_pointer_cast<const T>(shared_from_this()); }
};

// The class name of a C++ type, demangled and without namespaces.
std::string demangledClassName(const std::type_info& type);

} // namespace core
