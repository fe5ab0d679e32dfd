#include "Platform/PDF/OperatorTable.h"

namespace pdf {

void OperatorTable::setCallback(std::string name, Callback callback)
{
    if (callback)
        m_callbacks[std::move(name)] = callback;
    else
        m_callbacks.erase(name);
}

OperatorTable::Callback OperatorTable::callback(const std::string& name) const
{
    auto it = m_callbacks.find(name);
    return it == m_callbacks.end() ? nullptr : it->second;
}

} // namespace pdf
