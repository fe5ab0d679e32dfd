#include "Platform/Store/Object.h"

#include "Platform/Core/Exception.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Schema.h"

#include <fmt/format.h>

namespace store {

std::shared_ptr<Object> Object::create()
{
    return std::shared_ptr<Object>(new Object());
}

Object::Object() = default;

Object::~Object()
{
    if (auto context = m_context.lock())
        context->forget(m_id, this);
}

bool Object::isValid() const
{
    if (m_gone)
        return false;
    auto context = m_context.lock();
    return !context || !context->isHidden(m_id);
}

bool Object::isDeleted() const
{
    return m_gone || m_pendingDelete;
}

const core::Value& Object::valueAt(size_t index) const
{
    return m_values.at(index);
}

void Object::setValueAt(size_t index, core::Value value)
{
    const Attribute& attribute = m_schema->attribute(index);
    value = coercedValue(value, attribute.type);
    if (m_values.at(index) == value && m_values[index].type() == value.type())
        return;
    m_values[index] = std::move(value);
    auto context = m_context.lock();
    if (attribute.transient) {
        m_hasTransientValues = true;
        if (context)
            context->objectDidSetTransient(*this);
    } else {
        m_changed |= uint64_t(1) << index;
        if (context)
            context->objectDidChange(*this);
    }
    notifyAttribute(index);
}

std::string Object::stringAt(size_t index) const
{
    const auto& value = valueAt(index);
    return value.isString() ? value.string() : std::string();
}

int64_t Object::integerAt(size_t index) const
{
    const auto& value = valueAt(index);
    return value.isNull() ? m_schema->attribute(index).defaultValue.toInteger() : value.toInteger();
}

bool Object::boolAt(size_t index) const
{
    const auto& value = valueAt(index);
    return value.isNull() ? m_schema->attribute(index).defaultValue.toBool() : value.toBool();
}

double Object::doubleAt(size_t index) const
{
    const auto& value = valueAt(index);
    return value.isNull() ? m_schema->attribute(index).defaultValue.toReal() : value.toReal();
}

std::optional<core::Date> Object::dateAt(size_t index) const
{
    const auto& value = valueAt(index);
    if (value.isDate())
        return value.date();
    return std::nullopt;
}

size_t Object::checkedIndex(std::string_view key) const
{
    auto index = m_schema ? m_schema->indexOfAttribute(key) : std::nullopt;
    if (!index)
        throw core::Exception(core::Exception::UnknownKey,
            fmt::format("[<{}> valueForUndefinedKey:]: this class is not key value coding-compliant for the key {}.",
                className(), key));
    return *index;
}

core::Value Object::valueForKey(std::string_view key) const
{
    if (key == "objectID")
        return core::Value(m_id);
    return valueAt(checkedIndex(key));
}

void Object::setValueForKey(const core::Value& value, std::string_view key)
{
    setValueAt(checkedIndex(key), value);
}

std::shared_ptr<Object> Object::parentObject() const
{
    if (m_parentID == 0)
        return nullptr;
    auto context = m_context.lock();
    if (!context)
        return m_parent && m_parent->m_id == m_parentID ? m_parent : nullptr;
    if (m_parent && m_parent->m_id == m_parentID && m_parent->isValid())
        return m_parent;
    auto parent = context->objectWithID(m_parentID);
    // Held only when that makes no ring of objects holding each other (a
    // parent loop in a damaged file, or two moves merged from two threads).
    m_parent.reset();
    for (const Object* above = parent.get(); above; above = above->m_parent.get()) {
        if (above == this)
            return parent;
    }
    m_parent = parent;
    return parent;
}

void Object::setParent(const std::shared_ptr<Object>& parent)
{
    if (parent && parent->m_context.lock() != m_context.lock())
        throw core::Exception(core::Exception::InvalidArgument, "The parent belongs to another context");
    int64_t id = parent ? parent->m_id : 0;
    if (id == m_parentID)
        return;
    m_parentID = id;
    m_parent.reset();
    m_changed |= uint64_t(1) << ParentBit;
    if (auto context = m_context.lock())
        context->objectDidChange(*this);
    notify("parent");
}

core::Observation Object::observe(std::string_view key, std::function<void()> handler)
{
    if (!m_observers)
        m_observers = std::make_unique<std::map<std::string, std::unique_ptr<core::ObserverList<>>, std::less<>>>();
    auto found = m_observers->find(key);
    if (found == m_observers->end())
        found = m_observers->emplace(std::string(key), std::make_unique<core::ObserverList<>>()).first;
    return found->second->add(std::move(handler));
}

void Object::notify(std::string_view key) const
{
    if (!m_observers)
        return;
    auto found = m_observers->find(key);
    if (found != m_observers->end())
        found->second->notify();
}

void Object::notifyAttribute(size_t index) const
{
    if (m_observers)
        notify(m_schema->attribute(index).name);
}

size_t Object::hash() const
{
    return std::hash<int64_t>()(m_id);
}

std::string Object::description() const
{
    return fmt::format("<{} {} id {}>", className(), fmt::ptr(this), m_id);
}

} // namespace store
