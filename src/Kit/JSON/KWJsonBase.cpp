#include "Kit/JSON/KWJsonBase.h"

void KWJsonBase::addErrorWithCode(int64_t code, std::string description)
{
    core::Error error(ErrorDomain, code, std::move(description));
    if (!m_errorTrace.empty())
        error.setUnderlyingError(m_errorTrace.back());
    m_errorTrace.push_back(std::move(error));
}

std::string KWJsonBase::errorTraceDescription() const
{
    if (m_errorTrace.empty())
        return "(null)";
    std::string text = "(\n";
    for (size_t i = 0; i < m_errorTrace.size(); ++i) {
        const auto& error = m_errorTrace[i];
        text += "    Error Domain=" + error.domain() + " Code=" + std::to_string(error.code()) + " \""
            + error.localizedDescription() + "\"" + (i + 1 < m_errorTrace.size() ? ",\n" : "\n");
    }
    return text + ")";
}

unsigned KWJsonBase::depthLimit() const
{
    unsigned limit = maxDepth();
    return limit == 0 || limit > DepthCeiling ? DepthCeiling : limit;
}
