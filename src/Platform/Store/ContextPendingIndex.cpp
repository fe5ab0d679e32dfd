#include "Platform/Store/ContextPendingIndex.h"

#include "Platform/Store/Object.h"
#include "Platform/Store/Predicate.h"
#include "Platform/Store/Schema.h"

namespace store {

ContextPendingIndex::ContextPendingIndex(const Schema& schema)
{
    for (size_t index = 0; index < schema.attributes().size() && !m_nameIndex; ++index) {
        if (schema.attribute(index).folded) {
            m_nameIndex = index;
            m_nameAttribute = schema.attribute(index).name;
        }
    }
}

std::string ContextPendingIndex::nameKey(int64_t parent, std::string_view foldedName)
{
    std::string key = std::to_string(parent);
    key += '/';
    key += foldedName;
    return key;
}

void ContextPendingIndex::track(const Object& object)
{
    std::string name = m_nameIndex ? object.stringAt(*m_nameIndex) : std::string();
    auto found = m_places.find(object.objectID());
    if (found != m_places.end() && found->second.parent == object.parentID() && found->second.name == name)
        return;
    untrack(object.objectID());
    Place place { object.parentID(), std::move(name), {} };
    m_byParent[place.parent].insert(object.objectID());
    if (m_nameIndex) {
        place.key = nameKey(place.parent, foldedText(place.name));
        m_byName[place.key].insert(object.objectID());
    }
    m_places.emplace(object.objectID(), std::move(place));
}

void ContextPendingIndex::untrack(int64_t id)
{
    auto found = m_places.find(id);
    if (found == m_places.end())
        return;
    auto drop = [id](auto& index, const auto& key) {
        auto entry = index.find(key);
        if (entry == index.end())
            return;
        entry->second.erase(id);
        if (entry->second.empty())
            index.erase(entry);
    };
    drop(m_byParent, found->second.parent);
    if (m_nameIndex)
        drop(m_byName, found->second.key);
    m_places.erase(found);
}

void ContextPendingIndex::clear()
{
    m_byParent.clear();
    m_byName.clear();
    m_places.clear();
}

const std::unordered_set<int64_t>* ContextPendingIndex::candidates(const Predicate& predicate) const
{
    static const std::unordered_set<int64_t> none;
    auto lookUp = [](const auto& index, const auto& key) {
        auto found = index.find(key);
        return found == index.end() ? &none : &found->second;
    };
    auto parent = predicate.requiredParentID();
    auto name = parent && m_nameIndex ? predicate.requiredFoldedText(m_nameAttribute) : std::nullopt;
    if (name)
        return lookUp(m_byName, nameKey(*parent, *name));
    if (parent)
        return lookUp(m_byParent, *parent);
    return nullptr;
}

} // namespace store
