#include "Kit/JSON/KWJSON.h"

using core::Value;

KWJSON::KWJSON()
{
    setMaxDepth(512);
}

void KWJSON::setMaxDepth(unsigned depth)
{
    KWJsonBase::setMaxDepth(depth);
    m_jsonParser.setMaxDepth(depth);
    m_jsonWriter.setMaxDepth(depth);
}

void KWJSON::takeTrace(const KWJsonBase& inner, core::Error* error)
{
    replaceErrorTrace(inner.errorTrace());
    if (error && !errorTrace().empty())
        *error = errorTrace().back();
}

std::optional<Value> KWJSON::objectWithString(std::string_view text, core::Error* error)
{
    return objectWithString(text, false, error);
}

std::optional<Value> KWJSON::fragmentWithString(std::string_view text, core::Error* error)
{
    return objectWithString(text, true, error);
}

std::optional<Value> KWJSON::objectWithString(std::string_view text, bool allowScalar, core::Error* error)
{
    auto value = allowScalar ? m_jsonParser.fragmentWithString(text) : m_jsonParser.objectWithString(text);
    if (!value)
        takeTrace(m_jsonParser, error);
    return value;
}

std::optional<std::string> KWJSON::stringWithObject(const Value& value, core::Error* error)
{
    return stringWithObject(value, false, error);
}

std::optional<std::string> KWJSON::stringWithFragment(const Value& value, core::Error* error)
{
    return stringWithObject(value, true, error);
}

std::optional<std::string> KWJSON::stringWithObject(const Value& value, bool allowScalar, core::Error* error)
{
    auto json = allowScalar ? m_jsonWriter.stringWithFragment(value) : m_jsonWriter.stringWithObject(value);
    if (!json)
        takeTrace(m_jsonWriter, error);
    return json;
}
