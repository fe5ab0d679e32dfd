#include "Kit/JSON/JSONAdditions.h"

#include "Kit/JSON/KWJsonParser.h"
#include "Kit/JSON/KWJsonWriter.h"
#include "Platform/Core/Log.h"

using core::Value;

std::optional<Value> JSONValue(std::string_view text)
{
    KWJsonParser parser;
    auto value = parser.objectWithString(text);
    if (!value)
        core::log("-JSONValue failed. Error trace is: {}", parser.errorTraceDescription());
    return value;
}

std::optional<Value> JSONFragmentValue(std::string_view text)
{
    KWJsonParser parser;
    auto value = parser.fragmentWithString(text);
    if (!value)
        core::log("-JSONFragmentValue failed. Error trace is: {}", parser.errorTraceDescription());
    return value;
}

std::optional<std::string> JSONRepresentation(const Value& value)
{
    KWJsonWriter writer;
    auto json = writer.stringWithObject(value);
    if (!json) {
        core::log("-JSONRepresentation failed for object: {}", KWJsonWriter::kindName(value));
        core::log("Error trace is: {}", writer.errorTraceDescription());
    }
    return json;
}

std::optional<std::string> JSONFragment(const Value& value)
{
    KWJsonWriter writer;
    auto json = writer.stringWithFragment(value);
    if (!json) {
        core::log("-JSONFragment failed for object: {}", KWJsonWriter::kindName(value));
        core::log("Error trace is: {}", writer.errorTraceDescription());
    }
    return json;
}
