#include "Kit/VKStringChain.h"

VKStringChain::VKStringChain(std::string string, std::shared_ptr<VKStringChain> next)
    : VKConcreteString(std::move(string))
    , m_next(std::move(next))
{
}

std::shared_ptr<VKStringChain> VKStringChain::stringWithString(std::string_view string, std::shared_ptr<VKStringChain> next)
{
    return std::shared_ptr<VKStringChain>(new VKStringChain(std::string(string), std::move(next)));
}

VKStringChain::~VKStringChain()
{
    // Unlink the rest one by one: a long chain released from its head would
    // otherwise recurse once per link.
    auto next = std::move(m_next);
    while (next && next.use_count() == 1)
        next = std::move(next->m_next);
}

size_t VKStringChain::chainLength() const
{
    size_t length = 0;
    for (auto* link = this; link; link = link->m_next.get())
        ++length;
    return length;
}

std::shared_ptr<VKConcreteString> VKStringChain::copy() const
{
    return std::shared_ptr<VKStringChain>(new VKStringChain(concreteString(), m_next));
}
