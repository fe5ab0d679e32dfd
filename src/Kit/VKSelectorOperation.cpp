#include "Kit/VKSelectorOperation.h"

#include "Kit/VKFunctions.h"
#include "Platform/Core/Exception.h"

#include <fmt/format.h>

VKSelectorOperation::VKSelectorOperation(std::shared_ptr<core::Object> target, std::string selector, Argument object,
    std::function<void(const Argument&)> call)
    : m_target(std::move(target))
    , m_selector(std::move(selector))
    , m_object(std::move(object))
    , m_call(std::move(call))
{
    if (!m_target)
        throw core::Exception(core::Exception::InvalidArgument, "VKSelectorOperation needs a target");
}

void VKSelectorOperation::run()
{
    if (m_call)
        m_call(m_object);
}

bool VKSelectorOperation::isEqual(const core::Object& other) const
{
    auto* operation = dynamic_cast<const VKSelectorOperation*>(&other);
    return operation && operation->m_target == m_target && operation->m_selector == m_selector
        && operation->m_object == m_object;
}

uint32_t VKSelectorOperation::hashOf(const core::Object* object)
{
    return object ? static_cast<uint32_t>(object->hash()) : 0;
}

size_t VKSelectorOperation::hash() const
{
    uint32_t value = hashOf(m_target.get()) * 38u + hashOf(m_object.get());
    return value * 38u + selectorValue(m_selector);
}

std::string VKSelectorOperation::description() const
{
    // A target without a name is shown by its description rather than
    // making the description itself throw.
    core::Value name = VKSafeValueForKey(m_target, "name");
    return fmt::format("{}: {} -> {}", className(), name.isNull() ? m_target->description() : name.toString(), m_selector);
}

uint32_t VKSelectorOperation::selectorValue(std::string_view selector)
{
    uint32_t value = 2166136261u;
    for (unsigned char c : selector) {
        value ^= c;
        value *= 16777619u;
    }
    return value;
}
