#pragma once

#include "Kit/JSON/KWJsonBase.h"
#include "Platform/Core/Value.h"

#include <optional>
#include <string>

// Writes values as JSON text, compact or indented ("humanReadable": two
// spaces per level, " : " between key and value). Integers print their
// digits, reals their shortest round-trip form, booleans true/false.
// Dictionaries keep their keys in ascending order, which also is what
// "sortKeys" asks for.
class KWJsonWriter : public KWJsonBase {
public:
    // A dictionary or an array (or an object whose JSON proxy is one).
    std::optional<std::string> stringWithObject(const core::Value& value);
    // Any value.
    std::optional<std::string> stringWithFragment(const core::Value& value);

    bool sortKeys() const { return m_sortKeys; }
    void setSortKeys(bool sortKeys) { m_sortKeys = sortKeys; }
    bool humanReadable() const { return m_humanReadable; }
    void setHumanReadable(bool humanReadable) { m_humanReadable = humanReadable; }

    // The name the writer's messages give a value's kind ("dictionary",
    // "real", an object's class name).
    static std::string kindName(const core::Value& value);

private:
    bool appendValue(const core::Value& value, std::string& json);
    bool appendArray(const core::Value::Array& array, std::string& json);
    bool appendDictionary(const core::Value::Dictionary& dictionary, std::string& json);
    bool appendString(std::string_view text, std::string& json);
    bool enter();
    void indent(std::string& json) const;

    bool m_sortKeys = false;
    bool m_humanReadable = false;
};
