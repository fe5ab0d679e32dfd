#include "PDF/VKPDFPageNumbers.h"

#include "Platform/PDF/Array.h"

#include <limits>
#include <unordered_set>

namespace {

constexpr int kMaximumTreeDepth = 64;
constexpr int64_t kLargest = std::numeric_limits<int64_t>::max() / 2;

// Counts from hostile files stay far from overflow.
int64_t clamped(int64_t value)
{
    return value > kLargest ? kLargest : value < -kLargest ? -kLargest : value;
}

int64_t clampedSum(int64_t a, int64_t b)
{
    return clamped(clamped(a) + clamped(b));
}

} // namespace

std::shared_ptr<VKPDFPageNumbers> VKPDFPageNumbers::create()
{
    return std::make_shared<VKPDFPageNumbers>();
}

const VKPDFPageNumbers::Offsets& VKPDFPageNumbers::offsetsOfKids(const pdf::Dictionary& node)
{
    auto [entry, made] = m_nodes.try_emplace(node.identity());
    if (!made)
        return entry->second;
    // Each kid's offset is the sum over the dictionaries before its first
    // appearance; kids that are not dictionaries count nothing.
    pdf::Array kids;
    if (!node.array("Kids", kids))
        return entry->second;
    Offsets& offsets = entry->second;
    int64_t before = 0;
    size_t count = kids.count();
    for (size_t i = 0; i < count; ++i) {
        pdf::Dictionary kid;
        if (!kids.dictionary(i, kid))
            continue;
        offsets.try_emplace(kid.identity(), before);
        int64_t pages = 1;
        kid.integer("Count", pages);
        before = clampedSum(before, pages);
    }
    return offsets;
}

int64_t VKPDFPageNumbers::pageNumberForPage(const pdf::Dictionary& page)
{
    if (!page)
        return 0;
    std::lock_guard lock(m_mutex);
    auto known = m_pages.find(page.identity());
    if (known != m_pages.end())
        return known->second;

    int64_t before = 0;
    int64_t result = 0;
    pdf::Dictionary node = page;
    std::unordered_set<pdf::Identity> seen { page.identity() };
    for (int level = 0; level <= kMaximumTreeDepth; ++level) {
        pdf::Dictionary parent;
        if (!node.dictionary("Parent", parent)) {
            result = clampedSum(before, 1);
            break;
        }
        if (level == kMaximumTreeDepth || !seen.insert(parent.identity()).second)
            break;
        const Offsets& offsets = offsetsOfKids(parent);
        auto offset = offsets.find(node.identity());
        if (offset == offsets.end())
            break;
        before = clampedSum(before, offset->second);
        node = parent;
    }
    m_pages.emplace(page.identity(), result);
    return result;
}
