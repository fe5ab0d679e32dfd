#include "Platform/PDF/Dictionary.h"

#include "Platform/PDF/Array.h"
#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/Stream.h"

namespace pdf {

using detail::HandleAccess;

namespace {

template<typename T> bool entry(const Dictionary& dictionary, std::string_view key, T& out)
{
    if (!dictionary)
        return false;
    const auto& document = HandleAccess::document(dictionary);
    auto lock = detail::lock(document);
    try {
        QPDFObjectHandle object = HandleAccess::object(dictionary);
        if (!object.isDictionary())
            return false;
        std::string name = detail::slashed(key);
        if (!object.hasKey(name))
            return false;
        QPDFObjectHandle value = object.getKey(name);
        if (value.isNull())
            return false;
        return detail::convert(document, value, out);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

size_t Dictionary::count() const
{
    return keys().size();
}

std::vector<std::string> Dictionary::keys() const
{
    std::vector<std::string> result;
    if (!*this)
        return result;
    auto lock = detail::lock(HandleAccess::document(*this));
    try {
        QPDFObjectHandle object = HandleAccess::object(*this);
        if (!object.isDictionary())
            return result;
        for (const std::string& key : object.getKeys())
            result.push_back(key.empty() || key[0] != '/' ? key : key.substr(1));
    } catch (const std::exception&) {
    }
    return result;
}

bool Dictionary::object(std::string_view key, Object& out) const { return entry(*this, key, out); }
bool Dictionary::boolean(std::string_view key, bool& out) const { return entry(*this, key, out); }
bool Dictionary::integer(std::string_view key, int64_t& out) const { return entry(*this, key, out); }
bool Dictionary::number(std::string_view key, double& out) const { return entry(*this, key, out); }
bool Dictionary::name(std::string_view key, std::string& out) const { return entry(*this, key, out); }
bool Dictionary::string(std::string_view key, String& out) const { return entry(*this, key, out); }
bool Dictionary::array(std::string_view key, Array& out) const { return entry(*this, key, out); }
bool Dictionary::dictionary(std::string_view key, Dictionary& out) const { return entry(*this, key, out); }
bool Dictionary::stream(std::string_view key, Stream& out) const { return entry(*this, key, out); }

} // namespace pdf
