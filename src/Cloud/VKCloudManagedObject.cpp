#include "Cloud/VKCloudManagedObject.h"

#include "Cloud/VKNetworkState.h"
#include "Kit/StringAdditions.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Predicate.h"
#include "Platform/Store/Schema.h"

#include <fmt/format.h>

store::Schema VKCloudManagedObject::schema()
{
    using store::AttributeType;
    store::Schema schema(EntityName, 1);
    schema.addAttribute({ "name", AttributeType::Text, {}, store::Attribute::Folded });
    schema.addAttribute({ "UUID", AttributeType::Text });
    schema.addAttribute({ "size", AttributeType::Integer, core::Value(0) });
    schema.addAttribute({ "isDirectory", AttributeType::Boolean, core::Value(false) });
    schema.addAttribute({ "modificationDate", AttributeType::Date });
    schema.addAttribute({ "cloudRevision", AttributeType::Integer, core::Value(0) });
    schema.addAttribute({ "cloudHash", AttributeType::Text });
    schema.addAttribute({ "uploadState", AttributeType::Integer, core::Value(0) });
    schema.addAttribute({ "fetchProgress", AttributeType::Double, core::Value(0.0), store::Attribute::Transient });
    schema.addAttribute({ "uploadProgress", AttributeType::Double, core::Value(0.0), store::Attribute::Transient });
    schema.addAttribute({ "markedDeleted", AttributeType::Boolean, core::Value(false), store::Attribute::Transient });
    schema.addIndex("VKCloudManagedObjectParentName", { "parent", "name" });
    schema.addIndex("VKCloudManagedObjectParentNameFolded", { "parent", store::Schema::foldedColumnName("name") });
    schema.addIndex("VKCloudManagedObjectUploadState", { "uploadState" });
    schema.setObjectFactory([] { return std::shared_ptr<store::Object>(new VKCloudManagedObject()); });
    return schema;
}

void VKCloudManagedObject::awakeFromInsert()
{
    setValueAt(UUIDAttribute, core::Value(vkGenerateUUID()));
}

void VKCloudManagedObject::setName(std::string_view name)
{
    setValueAt(NameAttribute, core::Value(name));
}

void VKCloudManagedObject::setSize(int64_t size)
{
    setValueAt(SizeAttribute, core::Value(size));
}

void VKCloudManagedObject::setIsDirectory(bool isDirectory)
{
    setValueAt(IsDirectoryAttribute, core::Value(isDirectory));
}

void VKCloudManagedObject::setModificationDate(std::optional<core::Date> date)
{
    setValueAt(ModificationDateAttribute, date ? core::Value(*date) : core::Value());
}

void VKCloudManagedObject::setCloudRevision(int64_t revision)
{
    setValueAt(CloudRevisionAttribute, core::Value(revision));
}

std::optional<std::string> VKCloudManagedObject::cloudHash() const
{
    const auto& value = valueAt(CloudHashAttribute);
    if (!value.isString())
        return std::nullopt;
    return value.string();
}

void VKCloudManagedObject::setCloudHash(std::optional<std::string> hash)
{
    setValueAt(CloudHashAttribute, hash ? core::Value(std::move(*hash)) : core::Value());
}

void VKCloudManagedObject::setUploadState(int32_t state)
{
    setValueAt(UploadStateAttribute, core::Value(state));
}

void VKCloudManagedObject::setFetchProgress(float progress)
{
    setValueAt(FetchProgressAttribute, core::Value(static_cast<double>(progress)));
}

void VKCloudManagedObject::setUploadProgress(float progress)
{
    setValueAt(UploadProgressAttribute, core::Value(static_cast<double>(progress)));
}

void VKCloudManagedObject::setMarkedDeleted(bool marked)
{
    setValueAt(MarkedDeletedAttribute, core::Value(marked));
}

bool VKCloudManagedObject::isUpload() const
{
    int32_t state = uploadState();
    return state != VKNetworkStateNone && state != VKNetworkStateDone;
}

bool VKCloudManagedObject::isUploading() const
{
    switch (uploadState()) {
    case VKNetworkStateWaiting:
    case VKNetworkStateConnecting:
    case VKNetworkStateUploading:
    case VKNetworkStateFinalizing:
        return true;
    default:
        return false;
    }
}

std::shared_ptr<VKCloudManagedObject> VKCloudManagedObject::parent() const
{
    return std::dynamic_pointer_cast<VKCloudManagedObject>(parentObject());
}

std::shared_ptr<VKCloudManagedObject> VKCloudManagedObject::childWithName(std::string_view name, bool caseSensitive) const
{
    auto context = this->context();
    if (!context)
        return nullptr;
    auto predicate = store::Predicate::parentIDIs(objectID())
        && (caseSensitive ? store::Predicate::equal("name", core::Value(name))
                          : store::Predicate::equalFolded("name", std::string(name)));
    auto matches = context->fetch(predicate);
    if (matches.size() != 1)
        return nullptr;
    return std::dynamic_pointer_cast<VKCloudManagedObject>(matches.front());
}

std::string VKCloudManagedObject::description() const
{
    return fmt::format("<VKCloudManagedObject {} id {}> {}{}", fmt::ptr(this), objectID(), name(),
        isDirectory() ? "/" : "");
}
