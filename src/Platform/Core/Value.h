#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Date.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace core {

class Object;

// "Not found" as an index or location, the value the system's stored data uses.
inline constexpr size_t kNotFound = 0x7FFFFFFF;

// The dynamic value: null, bool, integer, real, string, data, date, array,
// dictionary or an object handle. It carries property lists, JSON, settings,
// notification user info and predicate operands. Booleans are not numbers;
// integers and reals compare by value. Arrays and dictionaries are shared
// between copies until one of them changes (copy on write).
class Value {
public:
    enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary, Object };
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value, std::less<>>;

    Value() = default;
    Value(std::nullptr_t) { }
    Value(bool value) : m_storage(value) { }
    Value(int value) : m_storage(static_cast<int64_t>(value)) { }
    Value(long value) : m_storage(static_cast<int64_t>(value)) { }
    Value(long long value) : m_storage(static_cast<int64_t>(value)) { }
    Value(unsigned value) : m_storage(static_cast<int64_t>(value)) { }
    Value(unsigned long value) : m_storage(static_cast<int64_t>(value)) { }
    Value(unsigned long long value) : m_storage(static_cast<int64_t>(value)) { }
    Value(double value) : m_storage(value) { }
    Value(const char* value) : m_storage(std::string(value)) { }
    Value(std::string value) : m_storage(std::move(value)) { }
    Value(std::string_view value) : m_storage(std::string(value)) { }
    Value(core::Data value) : m_storage(std::move(value)) { }
    Value(core::Date value) : m_storage(value) { }
    Value(Array value);
    Value(Dictionary value);
    Value(std::shared_ptr<core::Object> value);
    template<typename T>
        requires std::is_base_of_v<core::Object, T>
    Value(std::shared_ptr<T> value) : Value(std::static_pointer_cast<core::Object>(std::move(value))) { }

    static Value makeArray(std::initializer_list<Value> items = {}) { return Value(Array(items)); }
    static Value makeDictionary(std::initializer_list<std::pair<const std::string, Value>> items = {})
    {
        return Value(Dictionary(items.begin(), items.end()));
    }

    Type type() const { return static_cast<Type>(m_storage.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isData() const { return type() == Type::Data; }
    bool isDate() const { return type() == Type::Date; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }
    bool isObject() const { return type() == Type::Object; }

    // Exact accessors: the value must be of that kind (else they throw
    // NSInvalidArgumentException).
    bool boolean() const;
    int64_t integer() const;
    double real() const;
    const std::string& string() const;
    const core::Data& data() const;
    core::Date date() const;
    const Array& array() const;
    const Dictionary& dictionary() const;
    const std::shared_ptr<core::Object>& object() const;
    template<typename T> std::shared_ptr<T> objectAs() const
    {
        return isObject() ? std::dynamic_pointer_cast<T>(object()) : nullptr;
    }

    // Writable access to the dictionary, detached from other copies first.
    Dictionary& mutableDictionary();

    // Lenient readings, as the device's number and string values answer:
    // numbers and booleans convert; strings are read as the settings store
    // reads them; everything else is false, 0 or empty.
    bool toBool() const;
    int64_t toInteger() const;
    double toReal() const;
    // The description: "80", "13" for 13.0, "1" for true, "(null)" for null.
    std::string toString() const;

    // Dictionary lookup; a null value for a missing key or a non-dictionary.
    const Value& operator[](std::string_view key) const;
    // Array element; a null value when out of range or not an array.
    const Value& operator[](size_t index) const;
    const Value& operator[](int index) const { return (*this)[static_cast<size_t>(index)]; }
    // Elements of an array or entries of a dictionary; 0 for anything else.
    size_t count() const;

    bool operator==(const Value& other) const;
    size_t hash() const;
    // Plist-like text: (a, b) for arrays, {k = v;} for dictionaries.
    std::string description() const;

private:
    using Storage = std::variant<std::monostate, bool, int64_t, double, std::string, core::Data, core::Date,
        std::shared_ptr<Array>, std::shared_ptr<Dictionary>, std::shared_ptr<core::Object>>;
    Storage m_storage;
};

// Reads a dotted key path through dictionaries and objects' valueForKey();
// a missing key or a null midway gives null.
Value valueForKeyPath(const Value& value, std::string_view keyPath);

// The string-to-boolean and string-to-integer readings of the settings store:
// a bool string skips blanks, a sign and zeros, then reads Y/y/T/t or 1–9 as
// true; an integer string takes its leading number.
bool boolFromString(std::string_view text);
int64_t integerFromString(std::string_view text);
double realFromString(std::string_view text);

} // namespace core

template<> struct std::hash<core::Value> {
    size_t operator()(const core::Value& value) const { return value.hash(); }
};
