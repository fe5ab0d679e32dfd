#include "DropboxSDK/DBAccountInfo.h"

#include "DropboxSDK/DBRecordFields.h"

std::shared_ptr<const DBAccountInfo> DBAccountInfo::initWithDictionary(const core::Value& dictionary)
{
    auto info = std::shared_ptr<DBAccountInfo>(new DBAccountInfo);
    info->m_country = db::stringField(dictionary["country"]);
    info->m_displayName = db::stringField(dictionary["display_name"]);
    info->m_quota = DBQuota::initWithDictionary(dictionary["quota_info"]);
    const core::Value& uid = dictionary["uid"];
    if (uid.isInteger() || uid.isReal())
        info->m_userId = uid.toString();
    else
        info->m_userId = db::stringField(uid);
    info->m_referralLink = db::stringField(dictionary["referral_link"]);
    return info;
}

std::shared_ptr<const DBAccountInfo> DBAccountInfo::initWithCoder(const core::Value::Dictionary& coder)
{
    auto info = std::shared_ptr<DBAccountInfo>(new DBAccountInfo);
    info->m_country = db::stringField(coder, "country");
    info->m_displayName = db::stringField(coder, "displayName");
    auto quota = coder.find("quota");
    info->m_quota = quota != coder.end() && quota->second.isDictionary()
        ? DBQuota::initWithCoder(quota->second.dictionary())
        : DBQuota::initWithDictionary(core::Value());
    info->m_userId = db::stringField(coder, "userId");
    info->m_referralLink = db::stringField(coder, "referralLink");
    return info;
}

void DBAccountInfo::encodeWithCoder(core::Value::Dictionary& coder) const
{
    db::encodeString(coder, "country", m_country);
    db::encodeString(coder, "displayName", m_displayName);
    core::Value::Dictionary quota;
    m_quota->encodeWithCoder(quota);
    coder["quota"] = core::Value(std::move(quota));
    db::encodeString(coder, "userId", m_userId);
    db::encodeString(coder, "referralLink", m_referralLink);
}
