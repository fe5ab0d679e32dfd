#include "Platform/Core/Value.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Object.h"

#include <cmath>
#include <cstdlib>
#include <fmt/format.h>
#include <limits>

namespace core {

namespace {

const Value& nullValue()
{
    static const Value null;
    return null;
}

[[noreturn]] void wrongKind(const char* wanted, const Value& value)
{
    throw Exception(Exception::InvalidArgument, fmt::format("value {} is not {}", value.description(), wanted));
}

size_t combine(size_t seed, size_t value)
{
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

std::string quoted(const std::string& text)
{
    bool plain = !text.empty();
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '/' && c != '-')
            plain = false;
    }
    if (plain)
        return text;
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            result += '\\';
        result += c;
    }
    return result + "\"";
}

std::string describe(const Value& value, int depth)
{
    std::string indent(static_cast<size_t>(depth + 1) * 4, ' ');
    std::string closing(static_cast<size_t>(depth) * 4, ' ');
    switch (value.type()) {
    case Value::Type::Array: {
        if (value.array().empty())
            return "()";
        std::string text = "(\n";
        bool first = true;
        for (const auto& item : value.array()) {
            text += (first ? "" : ",\n") + indent + describe(item, depth + 1);
            first = false;
        }
        return text + "\n" + closing + ")";
    }
    case Value::Type::Dictionary: {
        if (value.dictionary().empty())
            return "{}";
        std::string text = "{\n";
        for (const auto& [key, item] : value.dictionary())
            text += indent + quoted(key) + " = " + describe(item, depth + 1) + ";\n";
        return text + closing + "}";
    }
    case Value::Type::String:
        return depth ? quoted(value.string()) : value.string();
    default:
        return value.toString();
    }
}

} // namespace

Value::Value(Array value)
    : m_storage(std::make_shared<Array>(std::move(value)))
{
}

Value::Value(Dictionary value)
    : m_storage(std::make_shared<Dictionary>(std::move(value)))
{
}

Value::Value(std::shared_ptr<core::Object> value)
{
    if (value)
        m_storage = std::move(value);
}

bool Value::boolean() const
{
    if (!isBool())
        wrongKind("a boolean", *this);
    return std::get<bool>(m_storage);
}

int64_t Value::integer() const
{
    if (!isInteger())
        wrongKind("an integer", *this);
    return std::get<int64_t>(m_storage);
}

double Value::real() const
{
    if (!isReal())
        wrongKind("a real", *this);
    return std::get<double>(m_storage);
}

const std::string& Value::string() const
{
    if (!isString())
        wrongKind("a string", *this);
    return std::get<std::string>(m_storage);
}

const core::Data& Value::data() const
{
    if (!isData())
        wrongKind("data", *this);
    return std::get<core::Data>(m_storage);
}

core::Date Value::date() const
{
    if (!isDate())
        wrongKind("a date", *this);
    return std::get<core::Date>(m_storage);
}

const Value::Array& Value::array() const
{
    if (!isArray())
        wrongKind("an array", *this);
    return *std::get<std::shared_ptr<Array>>(m_storage);
}

const Value::Dictionary& Value::dictionary() const
{
    if (!isDictionary())
        wrongKind("a dictionary", *this);
    return *std::get<std::shared_ptr<Dictionary>>(m_storage);
}

const std::shared_ptr<core::Object>& Value::object() const
{
    if (!isObject())
        wrongKind("an object", *this);
    return std::get<std::shared_ptr<core::Object>>(m_storage);
}

Value::Dictionary& Value::mutableDictionary()
{
    if (!isDictionary())
        wrongKind("a dictionary", *this);
    auto& shared = std::get<std::shared_ptr<Dictionary>>(m_storage);
    if (shared.use_count() > 1)
        shared = std::make_shared<Dictionary>(*shared);
    return *shared;
}

bool Value::toBool() const
{
    switch (type()) {
    case Type::Bool:
        return boolean();
    case Type::Integer:
        return integer() != 0;
    case Type::Real:
        return real() != 0;
    case Type::String:
        return boolFromString(string());
    default:
        return false;
    }
}

int64_t Value::toInteger() const
{
    switch (type()) {
    case Type::Bool:
        return boolean() ? 1 : 0;
    case Type::Integer:
        return integer();
    case Type::Real: {
        double value = real();
        if (std::isnan(value))
            return 0;
        if (value >= 9.2233720368547758e18)
            return std::numeric_limits<int64_t>::max();
        if (value <= -9.2233720368547758e18)
            return std::numeric_limits<int64_t>::min();
        return static_cast<int64_t>(value);
    }
    case Type::String:
        return integerFromString(string());
    default:
        return 0;
    }
}

double Value::toReal() const
{
    switch (type()) {
    case Type::Bool:
        return boolean() ? 1 : 0;
    case Type::Integer:
        return static_cast<double>(integer());
    case Type::Real:
        return real();
    case Type::String:
        return realFromString(string());
    case Type::Date:
        return date().timeIntervalSinceReferenceDate();
    default:
        return 0;
    }
}

std::string Value::toString() const
{
    switch (type()) {
    case Type::Null:
        return "(null)";
    case Type::Bool:
        return boolean() ? "1" : "0";
    case Type::Integer:
        return std::to_string(integer());
    case Type::Real:
        return fmt::format("{}", real());
    case Type::String:
        return string();
    case Type::Data:
        return data().description();
    case Type::Date:
        return date().description();
    case Type::Object:
        return object()->description();
    case Type::Array:
    case Type::Dictionary:
        return describe(*this, 0);
    }
    return {};
}

std::string Value::description() const
{
    return describe(*this, 0);
}

const Value& Value::operator[](std::string_view key) const
{
    if (!isDictionary())
        return nullValue();
    const auto& entries = dictionary();
    auto it = entries.find(key);
    return it == entries.end() ? nullValue() : it->second;
}

const Value& Value::operator[](size_t index) const
{
    if (!isArray() || index >= array().size())
        return nullValue();
    return array()[index];
}

size_t Value::count() const
{
    if (isArray())
        return array().size();
    if (isDictionary())
        return dictionary().size();
    return 0;
}

bool Value::operator==(const Value& other) const
{
    if (isNumber() && other.isNumber()) {
        if (isInteger() && other.isInteger())
            return integer() == other.integer();
        return toReal() == other.toReal();
    }
    if (type() != other.type())
        return false;
    switch (type()) {
    case Type::Null:
        return true;
    case Type::Bool:
        return boolean() == other.boolean();
    case Type::String:
        return string() == other.string();
    case Type::Data:
        return data() == other.data();
    case Type::Date:
        return date() == other.date();
    case Type::Array:
        return &array() == &other.array() || array() == other.array();
    case Type::Dictionary:
        return &dictionary() == &other.dictionary() || dictionary() == other.dictionary();
    case Type::Object:
        return object() == other.object() || object()->isEqual(*other.object());
    default:
        return false;
    }
}

size_t Value::hash() const
{
    switch (type()) {
    case Type::Null:
        return 0;
    case Type::Bool:
        return boolean() ? 0x51ed27 : 0x51ed26;
    case Type::Integer:
        return std::hash<int64_t>()(integer());
    case Type::Real: {
        double value = real();
        // Integral reals hash as the integer they equal.
        if (value == std::trunc(value) && std::abs(value) < 9.2e18)
            return std::hash<int64_t>()(static_cast<int64_t>(value));
        return std::hash<double>()(value);
    }
    case Type::String:
        return std::hash<std::string>()(string());
    case Type::Data:
        return std::hash<std::string_view>()(data().view());
    case Type::Date:
        return std::hash<double>()(date().timeIntervalSinceReferenceDate());
    case Type::Array: {
        size_t seed = array().size();
        for (const auto& item : array())
            seed = combine(seed, item.hash());
        return seed;
    }
    case Type::Dictionary: {
        size_t seed = dictionary().size();
        for (const auto& [key, item] : dictionary())
            seed = combine(combine(seed, std::hash<std::string>()(key)), item.hash());
        return seed;
    }
    case Type::Object:
        return object()->hash();
    }
    return 0;
}

Value valueForKeyPath(const Value& value, std::string_view keyPath)
{
    Value current = value;
    while (!keyPath.empty()) {
        auto dot = keyPath.find('.');
        std::string_view key = keyPath.substr(0, dot);
        keyPath = dot == std::string_view::npos ? std::string_view() : keyPath.substr(dot + 1);
        if (current.isDictionary()) {
            Value next = current[key];
            current = std::move(next);
        } else if (current.isObject()) {
            current = current.object()->valueForKey(key);
        } else {
            return Value();
        }
        if (current.isNull())
            return Value();
    }
    return current;
}

namespace {

std::string_view skipBlanks(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
        ++i;
    return text.substr(i);
}

} // namespace

bool boolFromString(std::string_view text)
{
    text = skipBlanks(text);
    if (!text.empty() && (text[0] == '+' || text[0] == '-'))
        text.remove_prefix(1);
    while (!text.empty() && text[0] == '0')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    char c = text[0];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

int64_t integerFromString(std::string_view text)
{
    text = skipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1 : uint64_t(std::numeric_limits<int64_t>::max());
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        unsigned digit = static_cast<unsigned>(c - '0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == uint64_t(std::numeric_limits<int64_t>::max()) + 1 ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
    return static_cast<int64_t>(magnitude);
}

double realFromString(std::string_view text)
{
    std::string copy(skipBlanks(text));
    return std::strtod(copy.c_str(), nullptr);
}

} // namespace core
