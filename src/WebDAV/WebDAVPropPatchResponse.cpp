#include "WebDAV/WebDAVPropPatchResponse.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerExtendedAttributes.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/FileSystem.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPreconditions.h"
#include "WebDAV/WebDAVProperty.h"
#include "WebDAV/WebDAVRequestBody.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <cerrno>

namespace {

constexpr int NoFollow = core::ExtendedAttributes::NoFollow;

} // namespace

std::shared_ptr<WebDAVPropPatchResponse> WebDAVPropPatchResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVPropPatchResponse>(new WebDAVPropPatchResponse(std::move(request), delegate));
}

void WebDAVPropPatchResponse::start()
{
    auto resource = requestResource(false);
    if (!resource)
        return endResponseWithStatusCode(404);
    if (request()->bodyLength() == 0)
        return endResponseWithStatusCode(400, "Bad Request - body required");
    core::Error error;
    if (!WebDAVLockManager::sharedManager()->isURIAuthorised(requestURL(), *request(), false, &error))
        return endResponseWithError(error);
    auto body = parseWebDAVRequestBody(*request());
    if (!body)
        return endResponseWithStatusCode(400);

    std::vector<Update> updates;
    for (const auto& node : body->nodesForXPath("/D:propertyupdate/*", DAVNamespaceMapping()).value_or(CXMLNode::NodeList {})) {
        if (node->URI() != "DAV:")
            continue;
        std::string kind = node->localName();
        if (kind != "set" && kind != "remove")
            continue;
        for (const auto& child : node->nodesForXPath("D:prop/*", DAVNamespaceMapping()).value_or(CXMLNode::NodeList {})) {
            auto element = std::dynamic_pointer_cast<CXMLElement>(child);
            if (!element)
                continue;
            Update update;
            update.isSet = kind == "set";
            if (update.isSet) {
                auto property = WebDAVProperty::propertyWithElement(*element);
                update.value = property->value();
                // Refused whole, before anything is stored, rather than
                // kept as a value no answer could give back.
                if (property->isDead() && update.value.isString() && !isReadableDeadPropertyValue(update.value.string()))
                    return endResponseWithStatusCode(400, "Bad Request - property value cannot be kept as given");
                update.name = std::move(property);
            } else {
                update.name = WebDAVPropertyName::propertyNameWithElement(*element);
            }
            updates.push_back(std::move(update));
        }
    }
    if (updates.empty())
        return endResponseWithStatusCode(400, "Bad Request - No properties specified");
    if (!WebDAVPreconditions::holdAtPath(*request(), resource->path()))
        return endResponseWithStatusCode(412);

    bool failed = false;
    for (auto& update : updates) {
        bool allowed = update.isSet ? resource->canSetProperty(update.value, *update.name, &update.error)
                                    : resource->canRemovePropertyWithName(*update.name, &update.error);
        if (!allowed && !update.isSet && update.error.code() == 404)
            update.error = core::Error();
        failed = failed || bool(update.error);
    }
    if (failed)
        return endWithFailedUpdates(*resource, updates);

    for (size_t index = 0; index < updates.size(); ++index) {
        if (apply(*resource, updates[index]))
            continue;
        for (size_t done = index; done-- > 0;)
            undo(*resource, updates[done]);
        for (size_t other = 0; other < updates.size(); ++other) {
            if (other != index)
                updates[other].error = core::Error();
        }
        return endWithFailedUpdates(*resource, updates);
    }

    VKQuotaManager::defaultManager()->updateQuotaForSingleItemAtPath(resource->path());
    auto parent = parentForResource(*resource);
    postCollectionUpdateNotificationForResource(parent.get());

    auto document = createDAVMultistatusDocument();
    auto response = addDAVResponseElementForResource(*document, *resource);
    WebDAVPropertyNameList names;
    for (const auto& update : updates)
        names.push_back(update.name);
    addDAVPropstatForPropertyNames(*document, names, *response, DAVStatusLine(200, "OK"));
    createMultiStatusHTTPMessageResponseForRequest(*request(), *resource, *document,
        delegate() ? delegate()->localHost() : std::nullopt);
    if (delegate())
        delegate()->webDAVResponseDidEnd(*this, End::KeepOpen);
}

bool WebDAVPropPatchResponse::apply(WebDAVResource& resource, Update& update)
{
    const std::string& path = resource.path();
    if (update.name->isDead())
        update.previousValue = xattrDataForItemAtPath(path, update.name->name(), NoFollow);
    else if (auto attributes = core::fs::attributes(path))
        update.previousModificationTime = attributes->modificationTime;

    core::Error error;
    bool applied = update.isSet ? resource.setProperty(update.value, *update.name, &error)
                                : resource.removePropertyWithName(*update.name, &error);
    if (!applied && !update.isSet && error.is(core::Error::POSIXDomain, ENODATA))
        applied = true;
    if (applied)
        return true;
    if (error.domain() == core::Error::POSIXDomain) {
        int code = static_cast<int>(error.code());
        bool full = code == ENOSPC || code == E2BIG || code == ERANGE;
        update.error = full ? WebDAVResource::errorWithStatus(507, "Insufficient Storage")
                            : WebDAVResource::errorWithStatus(403, "Forbidden");
    } else {
        update.error = error ? error : WebDAVResource::errorWithStatus(403, "Forbidden");
    }
    return false;
}

void WebDAVPropPatchResponse::undo(const WebDAVResource& resource, const Update& update)
{
    const std::string& path = resource.path();
    if (update.name->isDead()) {
        if (update.previousValue)
            xattrSetData(*update.previousValue, path, update.name->name(), NoFollow);
        else
            xattrRemoveDataForItemAtPath(path, update.name->name(), NoFollow);
    } else if (update.previousModificationTime) {
        core::fs::setModificationTime(path, *update.previousModificationTime);
    }
}

void WebDAVPropPatchResponse::endWithFailedUpdates(const WebDAVResource& resource, const std::vector<Update>& updates)
{
    auto document = createDAVMultistatusDocument();
    auto response = addDAVResponseElementForResource(*document, resource);
    for (const auto& update : updates) {
        if (update.error) {
            std::optional<std::string> description;
            auto entry = update.error.userInfo().find("WebDAVDescription");
            if (entry != update.error.userInfo().end())
                description = entry->second.toString();
            addDAVPropstatForPropertyName(*document, update.name, *response,
                DAVStatusLine(static_cast<int>(update.error.code()), statusTextForError(update.error)), description);
        } else {
            addDAVPropstatForPropertyName(*document, update.name, *response, DAVStatusLine(424, "Failed Dependency"));
        }
    }
    createMultiStatusHTTPMessageResponseForRequest(*request(), resource, *document,
        delegate() ? delegate()->localHost() : std::nullopt);
    if (delegate())
        delegate()->webDAVResponseDidEnd(*this, End::KeepOpen);
}
