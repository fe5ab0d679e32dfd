#include "Platform/PDF/Handle.h"

#include "Platform/PDF/DocumentState.h"

#include <new>

namespace pdf {

static_assert(sizeof(QPDFObjectHandle) <= 16 && alignof(QPDFObjectHandle) <= alignof(std::max_align_t));

namespace {

QPDFObjectHandle* slot(unsigned char* storage)
{
    return std::launder(reinterpret_cast<QPDFObjectHandle*>(storage));
}

} // namespace

Handle::Handle()
{
    new (m_object) QPDFObjectHandle();
}

Handle::Handle(const Handle& other)
    : m_document(other.m_document)
    , m_valid(other.m_valid)
{
    new (m_object) QPDFObjectHandle(detail::HandleAccess::object(other));
}

Handle::Handle(Handle&& other) noexcept
    : m_document(std::move(other.m_document))
    , m_valid(other.m_valid)
{
    new (m_object) QPDFObjectHandle(std::move(*slot(other.m_object)));
    other.m_valid = false;
}

Handle& Handle::operator=(const Handle& other)
{
    if (this != &other) {
        // The object goes before the document that owns it.
        *slot(m_object) = detail::HandleAccess::object(other);
        m_document = other.m_document;
        m_valid = other.m_valid;
    }
    return *this;
}

Handle& Handle::operator=(Handle&& other) noexcept
{
    if (this != &other) {
        *slot(m_object) = std::move(*slot(other.m_object));
        m_document = std::move(other.m_document);
        m_valid = other.m_valid;
        other.m_valid = false;
    }
    return *this;
}

Handle::~Handle()
{
    slot(m_object)->~QPDFObjectHandle();
}

Identity Handle::identity() const
{
    if (!m_valid)
        return {};
    const QPDFObjectHandle& object = detail::HandleAccess::object(*this);
    Identity result;
    result.document = m_document ? m_document->serial : 0;
    if (object.isIndirect()) {
        QPDFObjGen og = object.getObjGen();
        result.object = og.getObj();
        result.generation = og.getGen();
    } else {
        result.direct = object.getObjectPtr();
        result.reading = m_document ? m_document->number : 0;
    }
    return result;
}

namespace detail {

const QPDFObjectHandle& HandleAccess::object(const Handle& handle)
{
    return *std::launder(reinterpret_cast<const QPDFObjectHandle*>(handle.m_object));
}

void HandleAccess::set(Handle& handle, const std::shared_ptr<DocumentState>& document, const QPDFObjectHandle& object)
{
    *slot(handle.m_object) = object;
    handle.m_document = document;
    handle.m_valid = true;
}

} // namespace detail

} // namespace pdf
