#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <memory>

// The account's storage use as the service reports it ("normal", "shared",
// "quota"). Immutable; may be handed between threads.
class DBQuota : public core::Object {
public:
    // A value of the wrong kind reads as 0; null gives a quota of zeros.
    static std::shared_ptr<const DBQuota> initWithDictionary(const core::Value& dictionary);
    // The archive form: the fields under their own names.
    static std::shared_ptr<const DBQuota> initWithCoder(const core::Value::Dictionary& coder);
    void encodeWithCoder(core::Value::Dictionary& coder) const;

    int64_t normalConsumedBytes() const { return m_normalConsumedBytes; }
    int64_t sharedConsumedBytes() const { return m_sharedConsumedBytes; }
    int64_t totalBytes() const { return m_totalBytes; }
    // Normal plus shared.
    int64_t totalConsumedBytes() const;

private:
    DBQuota() = default;

    int64_t m_normalConsumedBytes = 0;
    int64_t m_sharedConsumedBytes = 0;
    int64_t m_totalBytes = 0;
};
