#pragma once

#include "DropboxSDK/DBQuota.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <optional>
#include <string>

// The linked account as the service describes it, with its quota.
// Immutable; may be handed between threads.
class DBAccountInfo : public core::Object {
public:
    // Texts of the wrong kind read as none; "uid" may be a number ("12345")
    // or a text; the quota is read from "quota_info" (zeros without one).
    static std::shared_ptr<const DBAccountInfo> initWithDictionary(const core::Value& dictionary);
    // The archive form: the fields under their own names, the quota as a
    // dictionary under "quota".
    static std::shared_ptr<const DBAccountInfo> initWithCoder(const core::Value::Dictionary& coder);
    void encodeWithCoder(core::Value::Dictionary& coder) const;

    const std::optional<std::string>& country() const { return m_country; }
    const std::optional<std::string>& displayName() const { return m_displayName; }
    const std::shared_ptr<const DBQuota>& quota() const { return m_quota; }
    const std::optional<std::string>& userId() const { return m_userId; }
    const std::optional<std::string>& referralLink() const { return m_referralLink; }

private:
    DBAccountInfo() = default;

    std::optional<std::string> m_country;
    std::optional<std::string> m_displayName;
    std::shared_ptr<const DBQuota> m_quota;
    std::optional<std::string> m_userId;
    std::optional<std::string> m_referralLink;
};
