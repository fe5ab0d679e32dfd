#pragma once

#include "Kit/VKSelectorOperation.h"

// A VKSelectorOperation whose method takes two arguments; the second one is
// part of its identity too.
class VKSelector2Operation : public VKSelectorOperation {
public:
    // `call(target, object, object2)`; T derives from core::Object.
    template<typename T, typename Call>
    static std::shared_ptr<VKSelector2Operation> create(std::shared_ptr<T> target, std::string selector, Argument object,
        Argument object2, Call call)
    {
        auto* typed = target.get();
        return std::shared_ptr<VKSelector2Operation>(new VKSelector2Operation(std::move(target), std::move(selector),
            std::move(object), std::move(object2),
            [typed, call = std::move(call)](const Argument& first, const Argument& second) { call(*typed, first, second); }));
    }

    const Argument& object2() const { return m_object2; }

    void run() override;
    bool isEqual(const core::Object& other) const override;
    // The one-argument hash × 38 + the second object's hash.
    size_t hash() const override;

protected:
    VKSelector2Operation(std::shared_ptr<core::Object> target, std::string selector, Argument object, Argument object2,
        std::function<void(const Argument&, const Argument&)> call);

private:
    const Argument m_object2;
    const std::function<void(const Argument&, const Argument&)> m_call2;
};
