#include "Platform/PDF/Array.h"

#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/Stream.h"

#include <climits>

namespace pdf {

using detail::HandleAccess;

namespace {

template<typename T> bool element(const Array& array, size_t index, T& out)
{
    if (!array || index >= size_t(INT_MAX))
        return false;
    const auto& document = HandleAccess::document(array);
    auto lock = detail::lock(document);
    try {
        QPDFObjectHandle object = HandleAccess::object(array);
        if (!object.isArray() || index >= size_t(object.getArrayNItems()))
            return false;
        // A null element is there (a null entry of a dictionary is not).
        return detail::convert(document, object.getArrayItem(int(index)), out);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

size_t Array::count() const
{
    if (!*this)
        return 0;
    auto lock = detail::lock(HandleAccess::document(*this));
    try {
        QPDFObjectHandle object = HandleAccess::object(*this);
        return object.isArray() ? size_t(object.getArrayNItems()) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

bool Array::object(size_t index, Object& out) const { return element(*this, index, out); }
bool Array::boolean(size_t index, bool& out) const { return element(*this, index, out); }
bool Array::integer(size_t index, int64_t& out) const { return element(*this, index, out); }
bool Array::number(size_t index, double& out) const { return element(*this, index, out); }
bool Array::name(size_t index, std::string& out) const { return element(*this, index, out); }
bool Array::string(size_t index, String& out) const { return element(*this, index, out); }
bool Array::array(size_t index, Array& out) const { return element(*this, index, out); }
bool Array::dictionary(size_t index, Dictionary& out) const { return element(*this, index, out); }
bool Array::stream(size_t index, Stream& out) const { return element(*this, index, out); }

} // namespace pdf
