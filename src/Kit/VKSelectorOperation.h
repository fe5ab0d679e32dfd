#pragma once

#include "Kit/VKOperation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

// An operation that calls one method of a target with one argument. Its
// identity is the target, the method's name and the argument (the same
// objects, not equal ones), so that a queue can drop a waiting request when
// the same one is added again. The callable does the call.
class VKSelectorOperation : public VKOperation {
public:
    using Argument = std::shared_ptr<core::Object>;

    // `call(target, object)`; T derives from core::Object.
    template<typename T, typename Call>
    static std::shared_ptr<VKSelectorOperation> create(std::shared_ptr<T> target, std::string selector, Argument object, Call call)
    {
        auto* typed = target.get();
        return std::shared_ptr<VKSelectorOperation>(new VKSelectorOperation(std::move(target), std::move(selector),
            std::move(object), [typed, call = std::move(call)](const Argument& argument) { call(*typed, argument); }));
    }

    const std::shared_ptr<core::Object>& target() const { return m_target; }
    const std::string& selector() const { return m_selector; }
    const Argument& object() const { return m_object; }

    void run() override;

    // Same class or a subclass, identical target, method and argument.
    bool isEqual(const core::Object& other) const override;
    // (target hash × 38 + object hash) × 38 + selector value, wrapping in 32 bits.
    size_t hash() const override;
    // "VKSelectorOperation: <target's name or description> -> selector"
    std::string description() const override;

    // The number standing for a method name in hashes (its name's FNV-1a).
    static uint32_t selectorValue(std::string_view selector);

protected:
    VKSelectorOperation(std::shared_ptr<core::Object> target, std::string selector, Argument object,
        std::function<void(const Argument&)> call);

    static uint32_t hashOf(const core::Object* object);

private:
    const std::shared_ptr<core::Object> m_target;
    const std::string m_selector;
    const Argument m_object;
    const std::function<void(const Argument&)> m_call;
};
