#include "Platform/PDF/LimitedBuffer.h"

#include <stdexcept>

namespace pdf::detail {

void LimitedBuffer::write(unsigned char const* data, size_t length)
{
    if (m_overflowed || length > m_limit - m_buffer.size()) {
        m_overflowed = true;
        throw std::length_error("decoded data over its limit");
    }
    m_buffer.append(reinterpret_cast<const char*>(data), length);
}

} // namespace pdf::detail
