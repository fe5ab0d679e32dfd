#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <string>

// One granted write lock: an immutable record of string keys, so that it can
// go into property values and key-path predicates as it stands. Locks never
// expire by time ("Infinite"); the token is a fresh UUID, written on the
// wire as "opaquelocktoken:" + token.
class WebDAVLock : public core::Object {
public:
    static constexpr const char* ScopeKey = "WebDAVLockScope";
    static constexpr const char* TypeKey = "WebDAVLockType";
    static constexpr const char* OwnerKey = "WebDAVOwner";
    static constexpr const char* DepthKey = "WebDAVDepth";
    static constexpr const char* TimeoutKey = "WebDAVTimeout";
    static constexpr const char* TokenKey = "WebDAVLockToken";
    static constexpr const char* URIKey = "WebDAVURI";
    static constexpr const char* LocalPathKey = "WebDAVLocalPath";
    static constexpr const char* IsNullKey = "WebDAVLockIsNull";

    static std::shared_ptr<const WebDAVLock> create(core::Value::Dictionary record);

    const core::Value::Dictionary& record() const { return m_record; }

    const std::string& lockScope() const { return string(ScopeKey); }
    const std::string& lockType() const { return string(TypeKey); }
    const std::string& lockToken() const { return string(TokenKey); }
    const std::string& lockDepth() const { return string(DepthKey); }
    const std::string& lockOwner() const { return string(OwnerKey); }
    const std::string& lockTimeout() const { return string(TimeoutKey); }
    const std::string& lockURIPath() const { return string(URIKey); }
    const std::string& lockLocalPath() const { return string(LocalPathKey); }
    bool lockIsNull() const;
    bool isExclusive() const { return lockScope() == "exclusive"; }

    core::Value valueForKey(std::string_view key) const override;
    std::string description() const override;

private:
    explicit WebDAVLock(core::Value::Dictionary record) : m_record(std::move(record)) { }
    const std::string& string(std::string_view key) const;

    const core::Value::Dictionary m_record;
};

using WebDAVLockRef = std::shared_ptr<const WebDAVLock>;
