#include "Kit/VKCompoundPredicate.h"

#include <fmt/format.h>

VKCompoundPredicate::VKCompoundPredicate(int32_t type, Subpredicates subpredicates)
    : m_type(type)
    , m_subpredicates(std::move(subpredicates))
{
}

std::shared_ptr<VKCompoundPredicate> VKCompoundPredicate::create(int32_t type, Subpredicates subpredicates)
{
    return std::make_shared<VKCompoundPredicate>(type, std::move(subpredicates));
}

std::shared_ptr<VKCompoundPredicate> VKCompoundPredicate::andPredicateWithSubpredicates(Subpredicates subpredicates)
{
    return create(AndPredicateType, std::move(subpredicates));
}

std::shared_ptr<VKCompoundPredicate> VKCompoundPredicate::orPredicateWithSubpredicates(Subpredicates subpredicates)
{
    return create(OrPredicateType, std::move(subpredicates));
}

bool VKCompoundPredicate::evaluateWithObject(const core::Value& object) const
{
    if (m_subpredicates.empty())
        return false;
    // AND is decided by the first false, OR by the first true; any type
    // other than AND reads as OR, as the description does. A missing
    // subpredicate holds for nothing.
    const bool deciding = m_type != AndPredicateType;
    for (const auto& predicate : m_subpredicates) {
        bool answer = predicate && predicate->evaluateWithObject(object);
        if (answer == deciding)
            return deciding;
    }
    return !deciding;
}

std::string VKCompoundPredicate::description() const
{
    std::string result;
    const char* joint = m_type == AndPredicateType ? "AND" : "OR";
    for (size_t i = 0; i < m_subpredicates.size(); ++i) {
        std::string inner = m_subpredicates[i] ? m_subpredicates[i]->description() : std::string("(null)");
        if (i == 0)
            result = fmt::format("({})", inner);
        else
            result += fmt::format(" {} ({})", joint, inner);
    }
    return result;
}
