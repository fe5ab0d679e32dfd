#include "Kit/VKSelector2Operation.h"

VKSelector2Operation::VKSelector2Operation(std::shared_ptr<core::Object> target, std::string selector, Argument object,
    Argument object2, std::function<void(const Argument&, const Argument&)> call)
    : VKSelectorOperation(std::move(target), std::move(selector), std::move(object), nullptr)
    , m_object2(std::move(object2))
    , m_call2(std::move(call))
{
}

void VKSelector2Operation::run()
{
    if (m_call2)
        m_call2(object(), m_object2);
}

bool VKSelector2Operation::isEqual(const core::Object& other) const
{
    auto* operation = dynamic_cast<const VKSelector2Operation*>(&other);
    return operation && VKSelectorOperation::isEqual(other) && operation->m_object2 == m_object2;
}

size_t VKSelector2Operation::hash() const
{
    return static_cast<uint32_t>(VKSelectorOperation::hash()) * 38u + hashOf(m_object2.get());
}
