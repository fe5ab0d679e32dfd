#include "Kit/FileManagerExtendedAttributes.h"

#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/UTF8.h"

using core::ExtendedAttributes;

std::optional<core::Data> xattrDataForItemAtPath(const std::string& path, std::string_view key, int options)
{
    return ExtendedAttributes::value(path, key, options);
}

std::optional<std::string> xattrStringForItemAtPath(const std::string& path, std::string_view key, int options)
{
    auto data = ExtendedAttributes::value(path, key, options);
    if (!data || !core::utf8::isValid(data->view()))
        return std::nullopt;
    return data->toString();
}

bool xattrSetData(const core::Data& data, const std::string& path, std::string_view key, int options,
    core::Error* error)
{
    return ExtendedAttributes::setValue(path, key, data.view(), options, error);
}

bool xattrSetString(std::string_view string, const std::string& path, std::string_view key, int options,
    core::Error* error)
{
    return ExtendedAttributes::setValue(path, key, string, options, error);
}

bool xattrRemoveDataForItemAtPath(const std::string& path, std::string_view key, int options, core::Error* error)
{
    return ExtendedAttributes::remove(path, key, options, error);
}

std::optional<std::vector<std::string>> xattrKeysForItemAtPath(const std::string& path, int options)
{
    return ExtendedAttributes::names(path, options);
}

std::optional<std::map<std::string, core::Data>> xattrAttributesForItemAtPath(const std::string& path, int options)
{
    auto names = ExtendedAttributes::names(path, options);
    if (!names)
        return std::nullopt;
    std::map<std::string, core::Data> attributes;
    for (const auto& name : *names) {
        if (auto value = ExtendedAttributes::value(path, name, options))
            attributes.emplace(name, std::move(*value));
    }
    return attributes;
}
