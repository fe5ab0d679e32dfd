#include "Platform/PDF/Object.h"

#include "Platform/PDF/Array.h"
#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/Stream.h"

namespace pdf {

using detail::HandleAccess;

namespace {

template<typename T> bool value(const Object& object, T& out)
{
    if (!object)
        return false;
    const auto& document = HandleAccess::document(object);
    auto lock = detail::lock(document);
    try {
        return detail::convert(document, HandleAccess::object(object), out);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

ObjectType Object::type() const
{
    if (!*this)
        return ObjectType::Null;
    auto lock = detail::lock(HandleAccess::document(*this));
    try {
        switch (QPDFObjectHandle(HandleAccess::object(*this)).getTypeCode()) {
        case ::ot_boolean:
            return ObjectType::Boolean;
        case ::ot_integer:
            return ObjectType::Integer;
        case ::ot_real:
            return ObjectType::Real;
        case ::ot_name:
            return ObjectType::Name;
        case ::ot_string:
            return ObjectType::String;
        case ::ot_array:
            return ObjectType::Array;
        case ::ot_dictionary:
            return ObjectType::Dictionary;
        case ::ot_stream:
            return ObjectType::Stream;
        default:
            return ObjectType::Null;
        }
    } catch (const std::exception&) {
        return ObjectType::Null;
    }
}

bool Object::boolean(bool& out) const { return value(*this, out); }
bool Object::integer(int64_t& out) const { return value(*this, out); }
bool Object::number(double& out) const { return value(*this, out); }
bool Object::name(std::string& out) const { return value(*this, out); }
bool Object::string(String& out) const { return value(*this, out); }
bool Object::array(Array& out) const { return value(*this, out); }
bool Object::dictionary(Dictionary& out) const { return value(*this, out); }
bool Object::stream(Stream& out) const { return value(*this, out); }

} // namespace pdf
