#pragma once

#include "Platform/Core/Object.h"

#include <memory>
#include <string>
#include <string_view>

// A string with identity, so that a subclass can carry more beside its text
// (VKStringChain).
class VKConcreteString : public core::Object {
public:
    static std::shared_ptr<VKConcreteString> stringWithString(std::string_view string);

    // The wrapped text.
    const std::string& concreteString() const { return m_string; }
    size_t length() const { return m_string.size(); }

    // A new object of the receiver's class wrapping the same text.
    virtual std::shared_ptr<VKConcreteString> copy() const;

    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;
    // The text itself.
    std::string description() const override;

protected:
    explicit VKConcreteString(std::string string);

private:
    const std::string m_string;
};
