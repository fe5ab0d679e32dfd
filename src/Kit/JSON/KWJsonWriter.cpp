#include "Kit/JSON/KWJsonWriter.h"

#include "Kit/JSON/KWJsonProxy.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/Object.h"

#include <cmath>
#include <fmt/format.h>

using core::Value;

namespace {

const KWJsonProxy* proxyOf(const Value& value)
{
    return value.isObject() ? dynamic_cast<const KWJsonProxy*>(value.object().get()) : nullptr;
}

} // namespace

std::string KWJsonWriter::kindName(const Value& value)
{
    switch (value.type()) {
    case Value::Type::Null:
        return "null";
    case Value::Type::Bool:
        return "boolean";
    case Value::Type::Integer:
        return "integer";
    case Value::Type::Real:
        return "real";
    case Value::Type::String:
        return "string";
    case Value::Type::Data:
        return "data";
    case Value::Type::Date:
        return "date";
    case Value::Type::Array:
        return "array";
    case Value::Type::Dictionary:
        return "dictionary";
    case Value::Type::Object:
        return value.object()->className();
    }
    return "value";
}

std::optional<std::string> KWJsonWriter::stringWithObject(const Value& value)
{
    if (value.isDictionary() || value.isArray())
        return stringWithFragment(value);
    if (const auto* proxy = proxyOf(value)) {
        if (m_depth < depthLimit()) {
            ++m_depth;
            auto json = stringWithObject(proxy->proxyForJson());
            --m_depth;
            if (json)
                return json;
        }
    }
    clearErrorTrace();
    addErrorWithCode(4, "Not valid type for JSON");
    return std::nullopt;
}

std::optional<std::string> KWJsonWriter::stringWithFragment(const Value& value)
{
    clearErrorTrace();
    m_depth = 0;
    std::string json;
    json.reserve(128);
    if (!appendValue(value, json))
        return std::nullopt;
    return json;
}

bool KWJsonWriter::enter()
{
    if (++m_depth > depthLimit()) {
        addErrorWithCode(7, "Nested too deep");
        return false;
    }
    return true;
}

void KWJsonWriter::indent(std::string& json) const
{
    json += '\n';
    json.append(static_cast<size_t>(m_depth) * 2, ' ');
}

bool KWJsonWriter::appendValue(const Value& value, std::string& json)
{
    // Grown by half rather than doubled: a doubled buffer for a 20 MB text
    // is 32 MiB, past what the allocator keeps for reuse, so every such
    // write would fault in fresh pages; this also bounds the slack to half.
    if (json.capacity() - json.size() < 4096)
        json.reserve(json.capacity() + json.capacity() / 2 + 4096);
    switch (value.type()) {
    case Value::Type::Dictionary:
        return appendDictionary(value.dictionary(), json);
    case Value::Type::Array:
        return appendArray(value.array(), json);
    case Value::Type::String:
        return appendString(value.string(), json);
    case Value::Type::Bool:
        json += value.boolean() ? "true" : "false";
        return true;
    case Value::Type::Integer:
        json += fmt::format_int(value.integer()).str();
        return true;
    case Value::Type::Real:
        // NaN and the infinities have no JSON form.
        if (!std::isfinite(value.real()))
            break;
        fmt::format_to(std::back_inserter(json), "{}", value.real());
        return true;
    case Value::Type::Null:
        json += "null";
        return true;
    case Value::Type::Object:
        if (const auto* proxy = proxyOf(value)) {
            // A proxy counts as a level, so proxies that answer proxies end.
            bool written = enter() && appendValue(proxy->proxyForJson(), json);
            --m_depth;
            return written;
        }
        break;
    default:
        break;
    }
    addErrorWithCode(1, fmt::format("JSON serialisation not supported for {}", kindName(value)));
    return false;
}

bool KWJsonWriter::appendArray(const Value::Array& array, std::string& json)
{
    if (!enter()) {
        --m_depth;
        return false;
    }
    json += '[';
    bool first = true;
    for (const auto& item : array) {
        if (!first)
            json += ',';
        first = false;
        if (m_humanReadable)
            indent(json);
        if (!appendValue(item, json)) {
            --m_depth;
            return false;
        }
    }
    --m_depth;
    if (m_humanReadable && !array.empty())
        indent(json);
    json += ']';
    return true;
}

bool KWJsonWriter::appendDictionary(const Value::Dictionary& dictionary, std::string& json)
{
    if (!enter()) {
        --m_depth;
        return false;
    }
    json += '{';
    bool first = true;
    for (const auto& [key, item] : dictionary) {
        if (!first)
            json += ',';
        first = false;
        if (m_humanReadable)
            indent(json);
        if (!appendString(key, json)) {
            --m_depth;
            return false;
        }
        json += m_humanReadable ? " : " : ":";
        if (!appendValue(item, json)) {
            addErrorWithCode(1, fmt::format("Unsupported value for key {} in object", key));
            --m_depth;
            return false;
        }
    }
    --m_depth;
    if (m_humanReadable && !dictionary.empty())
        indent(json);
    json += '}';
    return true;
}

bool KWJsonWriter::appendString(std::string_view text, std::string& json)
{
    // Text that is not UTF-8 would make the output unreadable as JSON.
    if (!core::isValidUTF8(text)) {
        addErrorWithCode(1, "JSON serialisation not supported for string");
        return false;
    }
    json += '"';
    const char* run = text.data();
    const char* end = text.data() + text.size();
    for (const char* p = run; p < end; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (!isSpecialInString(c))
            continue;
        json.append(run, static_cast<size_t>(p - run));
        run = p + 1;
        switch (c) {
        case '\b':
            json += "\\b";
            break;
        case '\t':
            json += "\\t";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\f':
            json += "\\f";
            break;
        case '\r':
            json += "\\r";
            break;
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        default:
            fmt::format_to(std::back_inserter(json), "\\u{:04x}", static_cast<unsigned>(c));
            break;
        }
    }
    json.append(run, static_cast<size_t>(end - run));
    json += '"';
    return true;
}
