#pragma once

#include "Kit/VKConcreteString.h"

#include <memory>
#include <string>
#include <string_view>

// A singly linked chain of strings: the outline scanner carries the titles of
// the enclosing outline levels in it, each level linking to its parent's.
// Links are shared, never copied, so siblings share their ancestors.
class VKStringChain : public VKConcreteString {
public:
    static std::shared_ptr<VKStringChain> stringWithString(std::string_view string,
        std::shared_ptr<VKStringChain> next = nullptr);
    ~VKStringChain() override;

    const std::shared_ptr<VKStringChain>& stringChain() const { return m_next; }
    void setStringChain(std::shared_ptr<VKStringChain> next) { m_next = std::move(next); }

    // Links from this one to the end, this one included.
    size_t chainLength() const;

    // A new head with the same text linked to the same rest of the chain.
    std::shared_ptr<VKConcreteString> copy() const override;

private:
    VKStringChain(std::string string, std::shared_ptr<VKStringChain> next);

    std::shared_ptr<VKStringChain> m_next;
};
