#include "DropboxSDK/DBQuota.h"

#include "Kit/NumberAdditions.h"

#include <limits>

std::shared_ptr<const DBQuota> DBQuota::initWithDictionary(const core::Value& dictionary)
{
    auto quota = std::shared_ptr<DBQuota>(new DBQuota);
    quota->m_normalConsumedBytes = vkSInt64Value(dictionary["normal"]);
    quota->m_sharedConsumedBytes = vkSInt64Value(dictionary["shared"]);
    quota->m_totalBytes = vkSInt64Value(dictionary["quota"]);
    return quota;
}

std::shared_ptr<const DBQuota> DBQuota::initWithCoder(const core::Value::Dictionary& coder)
{
    auto quota = std::shared_ptr<DBQuota>(new DBQuota);
    auto read = [&coder](const char* key) {
        auto found = coder.find(key);
        return found == coder.end() ? int64_t(0) : vkSInt64Value(found->second);
    };
    quota->m_normalConsumedBytes = read("normalConsumedBytes");
    quota->m_sharedConsumedBytes = read("sharedConsumedBytes");
    quota->m_totalBytes = read("totalBytes");
    return quota;
}

void DBQuota::encodeWithCoder(core::Value::Dictionary& coder) const
{
    coder["normalConsumedBytes"] = m_normalConsumedBytes;
    coder["sharedConsumedBytes"] = m_sharedConsumedBytes;
    coder["totalBytes"] = m_totalBytes;
}

int64_t DBQuota::totalConsumedBytes() const
{
    int64_t total = 0;
    // Hostile numbers saturate rather than wrap.
    if (__builtin_add_overflow(m_normalConsumedBytes, m_sharedConsumedBytes, &total))
        return m_sharedConsumedBytes > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return total;
}
