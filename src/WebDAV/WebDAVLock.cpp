#include "WebDAV/WebDAVLock.h"

std::shared_ptr<const WebDAVLock> WebDAVLock::create(core::Value::Dictionary record)
{
    return std::shared_ptr<const WebDAVLock>(new WebDAVLock(std::move(record)));
}

const std::string& WebDAVLock::string(std::string_view key) const
{
    static const std::string empty;
    auto it = m_record.find(key);
    return it != m_record.end() && it->second.isString() ? it->second.string() : empty;
}

bool WebDAVLock::lockIsNull() const
{
    auto it = m_record.find(IsNullKey);
    return it != m_record.end() && it->second.toBool();
}

core::Value WebDAVLock::valueForKey(std::string_view key) const
{
    auto it = m_record.find(key);
    return it == m_record.end() ? core::Value() : it->second;
}

std::string WebDAVLock::description() const
{
    return core::Value(m_record).description();
}
