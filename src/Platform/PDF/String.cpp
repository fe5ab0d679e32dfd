#include "Platform/PDF/String.h"

#include <qpdf/QUtil.hh>

namespace pdf {

std::string String::text() const
{
    try {
        if (QUtil::is_utf16(m_bytes))
            return QUtil::utf16_to_utf8(m_bytes);
        if (QUtil::is_explicit_utf8(m_bytes))
            return m_bytes.substr(3);
        return QUtil::pdf_doc_to_utf8(m_bytes);
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace pdf
