#pragma once

#include "Kit/VKPredicate.h"

#include <cstdint>
#include <memory>
#include <vector>

// AND or OR of subpredicates, evaluated in order and stopping at the first
// answer that decides. A compound of nothing holds for nothing, AND
// included.
class VKCompoundPredicate : public VKPredicate {
public:
    enum Type : int32_t { AndPredicateType = 1, OrPredicateType = 2 };
    using Subpredicates = std::vector<std::shared_ptr<const VKPredicate>>;

    static std::shared_ptr<VKCompoundPredicate> andPredicateWithSubpredicates(Subpredicates subpredicates);
    static std::shared_ptr<VKCompoundPredicate> orPredicateWithSubpredicates(Subpredicates subpredicates);
    static std::shared_ptr<VKCompoundPredicate> create(int32_t type, Subpredicates subpredicates);

    int32_t type() const { return m_type; }
    const Subpredicates& subpredicates() const { return m_subpredicates; }

    bool evaluateWithObject(const core::Value& object) const override;
    // "(a) AND (b)"; empty without subpredicates.
    std::string description() const override;

    VKCompoundPredicate(int32_t type, Subpredicates subpredicates);

private:
    int32_t m_type;
    Subpredicates m_subpredicates;
};
