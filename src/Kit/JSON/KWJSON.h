#pragma once

#include "Kit/JSON/KWJsonBase.h"
#include "Kit/JSON/KWJsonParser.h"
#include "Kit/JSON/KWJsonWriter.h"

#include <optional>
#include <string>
#include <string_view>

// One reader and one writer behind calls that hand out the last error of a
// failure; the whole chain stays in this object's error trace.
class KWJSON : public KWJsonBase {
public:
    KWJSON();

    std::optional<core::Value> objectWithString(std::string_view text, core::Error* error = nullptr);
    std::optional<core::Value> fragmentWithString(std::string_view text, core::Error* error = nullptr);
    std::optional<core::Value> objectWithString(std::string_view text, bool allowScalar, core::Error* error);

    std::optional<std::string> stringWithObject(const core::Value& value, core::Error* error = nullptr);
    std::optional<std::string> stringWithFragment(const core::Value& value, core::Error* error = nullptr);
    std::optional<std::string> stringWithObject(const core::Value& value, bool allowScalar, core::Error* error);

    bool sortKeys() const { return m_jsonWriter.sortKeys(); }
    void setSortKeys(bool sortKeys) { m_jsonWriter.setSortKeys(sortKeys); }
    bool humanReadable() const { return m_jsonWriter.humanReadable(); }
    void setHumanReadable(bool humanReadable) { m_jsonWriter.setHumanReadable(humanReadable); }
    unsigned maxDepth() const override { return m_jsonParser.maxDepth(); }
    void setMaxDepth(unsigned depth) override;

    KWJsonParser& jsonParser() { return m_jsonParser; }
    KWJsonWriter& jsonWriter() { return m_jsonWriter; }

private:
    void takeTrace(const KWJsonBase& inner, core::Error* error);

    KWJsonParser m_jsonParser;
    KWJsonWriter m_jsonWriter;
};
