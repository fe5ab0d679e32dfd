#include "Platform/Store/ContextChangeNotes.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Object.h"

namespace store {

namespace {

template<typename Map> core::Value changedObjectArray(const Map& objects)
{
    core::Value::Array array;
    array.reserve(objects.size());
    for (const auto& [id, object] : objects)
        array.emplace_back(object);
    return core::Value(std::move(array));
}

} // namespace

void ContextChangeNotes::note(const std::shared_ptr<Object>& object, Kind kind)
{
    ChangeSet& bucket = kind == Inserted ? m_inserted : kind == Updated ? m_updated : m_deleted;
    bucket[object->objectID()] = object;
    schedule();
}

void ContextChangeNotes::schedule()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    std::weak_ptr<Context> weak = std::static_pointer_cast<Context>(m_context.shared_from_this());
    core::RunLoop::current().performAfter(0, [weak] {
        if (auto context = weak.lock())
            context->processPendingChanges();
    });
}

void ContextChangeNotes::post()
{
    m_scheduled = false;
    if (m_inserted.empty() && m_updated.empty() && m_deleted.empty())
        return;
    // An object inserted and changed in one pass is news once, as inserted.
    for (const auto& [id, object] : m_inserted)
        m_updated.erase(id);
    auto userInfo = core::Value::makeDictionary({
        { InsertedObjectsKey, changedObjectArray(m_inserted) },
        { UpdatedObjectsKey, changedObjectArray(m_updated) },
        { DeletedObjectsKey, changedObjectArray(m_deleted) },
    });
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    core::NotificationCenter::defaultCenter().post(ContextObjectsDidChangeNotification, m_context.shared_from_this(),
        std::move(userInfo));
}

} // namespace store
