#include "Platform/Security/KeychainItemList.h"

#include "Platform/Core/TextFolding.h"

#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <string_view>

namespace sec {

namespace {

using Status = KeychainStore::Status;
using A = KeychainAttribute;

enum class Kind { None, String, Integer };

constexpr int64_t MaximumPort = 65535;
constexpr int64_t MaximumType = 0xFFFFFFFF;
constexpr size_t ReferenceLength = 16;
constexpr int64_t ListVersion = 1;

Kind attributeKind(KeychainItemClass itemClass, std::string_view name)
{
    if (name == A::Account)
        return Kind::String;
    if (name == A::Type)
        return Kind::Integer;
    if (itemClass == KeychainItemClass::GenericPassword)
        return name == A::Service ? Kind::String : Kind::None;
    if (name == A::Port)
        return Kind::Integer;
    if (name == A::Server || name == A::SecurityDomain || name == A::Protocol || name == A::Path
        || name == A::AuthenticationType)
        return Kind::String;
    return Kind::None;
}

// The attributes that make an item itself: a second item with the same ones
// is a duplicate.
const std::array<const char*, 2> GenericIdentity { A::Account, A::Service };
const std::array<const char*, 7> InternetIdentity { A::Account, A::SecurityDomain, A::Server, A::Protocol,
    A::AuthenticationType, A::Port, A::Path };

const core::Value& emptyValueOfKind(Kind kind)
{
    static const core::Value emptyString("");
    static const core::Value zero(int64_t(0));
    return kind == Kind::Integer ? zero : emptyString;
}

// An attribute as compared: a missing one reads as "" or 0.
const core::Value& attributeOf(const KeychainItem& item, std::string_view name)
{
    const core::Value& value = item.attributes[name];
    return value.isNull() ? emptyValueOfKind(attributeKind(item.itemClass, name)) : value;
}

bool isASCII(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
}

// Unicode case folding; two ASCII texts fold to ASCII alike, so they are
// compared without converting them.
bool sameTextIgnoringCase(std::string_view a, std::string_view b)
{
    if (isASCII(a) && isASCII(b)) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
            return std::tolower(x) == std::tolower(y);
        });
    }
    return core::caseFolded(a) == core::caseFolded(b);
}

bool sameValue(const core::Value& a, const core::Value& b, bool caseInsensitive)
{
    if (a == b)
        return true;
    return caseInsensitive && a.isString() && b.isString() && sameTextIgnoringCase(a.string(), b.string());
}

bool sameIdentity(const KeychainItem& a, const KeychainItem& b)
{
    if (a.itemClass != b.itemClass)
        return false;
    auto same = [&](const auto& names) {
        for (const char* name : names)
            if (!(attributeOf(a, name) == attributeOf(b, name)))
                return false;
        return true;
    };
    return a.itemClass == KeychainItemClass::GenericPassword ? same(GenericIdentity) : same(InternetIdentity);
}

bool touchesIdentity(KeychainItemClass itemClass, const core::Value& changes)
{
    auto touches = [&](const auto& names) {
        return std::any_of(names.begin(), names.end(), [&](const char* name) { return !changes[name].isNull(); });
    };
    return itemClass == KeychainItemClass::GenericPassword ? touches(GenericIdentity) : touches(InternetIdentity);
}

bool matches(const KeychainItem& item, const KeychainQuery& query)
{
    if (item.itemClass != query.itemClass)
        return false;
    for (const auto& [name, wanted] : query.attributes.dictionary())
        if (!sameValue(attributeOf(item, name), wanted, query.caseInsensitive))
            return false;
    return true;
}

core::Data newReference()
{
    std::array<unsigned char, ReferenceLength> bytes {};
    if (RAND_bytes(bytes.data(), int(bytes.size())) != 1) {
        // Never two alike within a run, even without the random source.
        static std::atomic<uint64_t> counter { 0 };
        uint64_t next = ++counter;
        for (size_t i = 0; i < sizeof next; ++i)
            bytes[i] = static_cast<unsigned char>(next >> (8 * i));
    }
    return core::Data(bytes.data(), bytes.size());
}

Status validateQuery(const KeychainQuery& query)
{
    return KeychainItemList::validateAttributes(query.itemClass, query.attributes);
}

// Merges the changed attributes into the item's.
core::Value mergedAttributes(const core::Value& attributes, const core::Value& changes)
{
    core::Value merged = attributes;
    auto& dictionary = merged.mutableDictionary();
    for (const auto& [name, value] : changes.dictionary())
        dictionary[name] = value;
    return merged;
}

const char* className(KeychainItemClass itemClass)
{
    return itemClass == KeychainItemClass::GenericPassword ? "generic" : "internet";
}

} // namespace

Status KeychainItemList::validateAttributes(KeychainItemClass itemClass, const core::Value& attributes)
{
    if (!attributes.isDictionary())
        return KeychainStore::BadParameter;
    for (const auto& [name, value] : attributes.dictionary()) {
        switch (attributeKind(itemClass, name)) {
        case Kind::None:
            return KeychainStore::BadParameter;
        case Kind::String:
            if (!value.isString() || value.string().size() > KeychainStore::MaximumAttributeLength)
                return KeychainStore::BadParameter;
            break;
        case Kind::Integer: {
            if (!value.isInteger())
                return KeychainStore::BadParameter;
            const int64_t limit = name == A::Port ? MaximumPort : MaximumType;
            if (value.integer() < 0 || value.integer() > limit)
                return KeychainStore::BadParameter;
            break;
        }
        }
    }
    return KeychainStore::Success;
}

Status KeychainItemList::add(const KeychainItem& item, KeychainItem* stored)
{
    if (Status status = validateAttributes(item.itemClass, item.attributes); status != KeychainStore::Success)
        return status;
    if (item.data.size() > KeychainStore::MaximumDataLength)
        return KeychainStore::BadParameter;
    for (const auto& existing : m_items)
        if (sameIdentity(existing, item))
            return KeychainStore::DuplicateItem;
    KeychainItem added;
    added.itemClass = item.itemClass;
    added.attributes = item.attributes;
    added.data = item.data;
    added.creationDate = added.modificationDate = core::Date::now();
    added.persistentReference = newReference();
    m_items.push_back(added);
    if (stored)
        *stored = std::move(added);
    return KeychainStore::Success;
}

Status KeychainItemList::update(const KeychainQuery& query, const KeychainChanges& changes)
{
    if (Status status = validateQuery(query); status != KeychainStore::Success)
        return status;
    if (Status status = validateAttributes(query.itemClass, changes.attributes); status != KeychainStore::Success)
        return status;
    if (changes.data && changes.data->size() > KeychainStore::MaximumDataLength)
        return KeychainStore::BadParameter;
    // Changed on a copy, so that a change that would make two items one
    // leaves everything as it was.
    std::vector<KeychainItem> items = m_items;
    std::vector<size_t> changed;
    const core::Date now = core::Date::now();
    for (size_t i = 0; i < items.size(); ++i) {
        if (!matches(items[i], query))
            continue;
        items[i].attributes = mergedAttributes(items[i].attributes, changes.attributes);
        if (changes.data)
            items[i].data = *changes.data;
        items[i].modificationDate = now;
        changed.push_back(i);
    }
    if (changed.empty())
        return KeychainStore::ItemNotFound;
    if (touchesIdentity(query.itemClass, changes.attributes)) {
        for (size_t index : changed)
            for (size_t other = 0; other < items.size(); ++other)
                if (other != index && sameIdentity(items[index], items[other]))
                    return KeychainStore::DuplicateItem;
    }
    m_items = std::move(items);
    return KeychainStore::Success;
}

Status KeychainItemList::remove(const KeychainQuery& query)
{
    if (Status status = validateQuery(query); status != KeychainStore::Success)
        return status;
    const size_t before = m_items.size();
    std::erase_if(m_items, [&](const KeychainItem& item) { return matches(item, query); });
    return m_items.size() == before ? KeychainStore::ItemNotFound : KeychainStore::Success;
}

Status KeychainItemList::copyMatching(const KeychainQuery& query, std::vector<KeychainItem>& results) const
{
    results.clear();
    if (Status status = validateQuery(query); status != KeychainStore::Success)
        return status;
    for (const auto& item : m_items) {
        if (!matches(item, query))
            continue;
        KeychainItem found;
        found.itemClass = item.itemClass;
        if (query.returnAttributes) {
            found.attributes = item.attributes;
            found.creationDate = item.creationDate;
            found.modificationDate = item.modificationDate;
        }
        if (query.returnData)
            found.data = item.data;
        if (query.returnReference)
            found.persistentReference = item.persistentReference;
        results.push_back(std::move(found));
        if (!query.matchAll)
            break;
    }
    return results.empty() ? KeychainStore::ItemNotFound : KeychainStore::Success;
}

core::Value KeychainItemList::propertyList() const
{
    core::Value::Array items;
    items.reserve(m_items.size());
    for (const auto& item : m_items) {
        items.push_back(core::Value::makeDictionary({
            { "class", core::Value(className(item.itemClass)) },
            { "attributes", item.attributes },
            { "data", core::Value(item.data) },
            { "created", core::Value(item.creationDate) },
            { "modified", core::Value(item.modificationDate) },
            { "reference", core::Value(item.persistentReference) },
        }));
    }
    return core::Value::makeDictionary({ { "version", core::Value(ListVersion) }, { "items", core::Value(std::move(items)) } });
}

std::optional<KeychainItemList> KeychainItemList::fromPropertyList(const core::Value& list)
{
    const core::Value& version = list["version"];
    const core::Value& items = list["items"];
    if (!version.isInteger() || version.integer() != ListVersion || !items.isArray())
        return std::nullopt;
    KeychainItemList result;
    result.m_items.reserve(items.count());
    for (const auto& entry : items.array()) {
        KeychainItem item;
        const core::Value& name = entry["class"];
        if (name == core::Value("generic"))
            item.itemClass = KeychainItemClass::GenericPassword;
        else if (name == core::Value("internet"))
            item.itemClass = KeychainItemClass::InternetPassword;
        else
            return std::nullopt;
        const core::Value& data = entry["data"];
        const core::Value& created = entry["created"];
        const core::Value& modified = entry["modified"];
        const core::Value& reference = entry["reference"];
        if (!data.isData() || data.data().size() > KeychainStore::MaximumDataLength || !created.isDate()
            || !modified.isDate() || !reference.isData() || reference.data().size() != ReferenceLength)
            return std::nullopt;
        if (validateAttributes(item.itemClass, entry["attributes"]) != KeychainStore::Success)
            return std::nullopt;
        item.attributes = entry["attributes"];
        item.data = data.data();
        item.creationDate = created.date();
        item.modificationDate = modified.date();
        item.persistentReference = reference.data();
        result.m_items.push_back(std::move(item));
    }
    return result;
}

} // namespace sec
