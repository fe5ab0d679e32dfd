#include "Platform/PDF/Stream.h"

#include "Platform/PDF/DocumentState.h"
#include "Platform/PDF/LimitedBuffer.h"

namespace pdf {

using detail::HandleAccess;

Dictionary Stream::dictionary() const
{
    if (!*this)
        return {};
    const auto& document = HandleAccess::document(*this);
    auto lock = detail::lock(document);
    try {
        QPDFObjectHandle object = HandleAccess::object(*this);
        if (!object.isStream())
            return {};
        return HandleAccess::wrap<Dictionary>(document, object.getDict());
    } catch (const std::exception&) {
        return {};
    }
}

std::optional<core::Data> Stream::decodedData(size_t limit) const
{
    if (!*this)
        return std::nullopt;
    auto lock = detail::lock(HandleAccess::document(*this));
    std::string bytes;
    detail::LimitedBuffer buffer(bytes, limit);
    try {
        QPDFObjectHandle object = HandleAccess::object(*this);
        if (!object.isStream())
            return std::nullopt;
        if (!object.pipeStreamData(&buffer, 0, qpdf_dl_generalized, true, false) || buffer.overflowed())
            return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return core::Data(std::move(bytes));
}

} // namespace pdf
