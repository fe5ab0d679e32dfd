#pragma once

// The walk both outline readers share: every item of an outline, depth
// first in document order (each item, then its /First chain one level
// deeper, then its /Next), without recursion, entering each object once.
// Files whose /Next or /First links loop, or that nest thousands of levels,
// are walked completely and in time linear in their items.

#include "Platform/PDF/Dictionary.h"

#include <unordered_set>
#include <utility>
#include <vector>

// `visit(item, depth, parent)` handles one item and returns what its
// children get as their `parent` (the readers pass title chains down).
// `enclosing`, the outline's root when the walk starts below it, is never
// entered as an item.
template<typename Parent, typename Visit>
void VKPDFWalkOutline(const pdf::Dictionary& first, int depth, Parent parent, Visit visit, const pdf::Handle& enclosing = {})
{
    struct Pending {
        pdf::Dictionary item;
        int depth;
        Parent parent;
    };
    std::vector<Pending> pending;
    pending.push_back({ first, depth, std::move(parent) });
    std::unordered_set<pdf::Identity> entered;
    if (enclosing)
        entered.insert(enclosing.identity());
    while (!pending.empty()) {
        Pending current = std::move(pending.back());
        pending.pop_back();
        if (!current.item || !entered.insert(current.item.identity()).second)
            continue;
        Parent forChildren = visit(current.item, current.depth, current.parent);
        // Pushed in reverse: the children are walked before the next sibling.
        pdf::Dictionary next, child;
        if (current.item.dictionary("Next", next))
            pending.push_back({ std::move(next), current.depth, std::move(current.parent) });
        if (current.item.dictionary("First", child))
            pending.push_back({ std::move(child), current.depth + 1, std::move(forChildren) });
    }
}
