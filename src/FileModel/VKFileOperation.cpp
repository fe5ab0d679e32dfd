#include "FileModel/VKFileOperation.h"

#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKFileResource.h"
#include "Kit/ErrorAdditions.h"


VKFileOperation::VKFileOperation(std::vector<std::shared_ptr<VKFileResource>> resources)
    : m_resources(std::move(resources))
{
}

VKFileOperation::~VKFileOperation()
{
    endBackgroundTask();
}

std::shared_ptr<VKFileResource> VKFileOperation::destination() const
{
    std::lock_guard lock(m_mutex);
    return m_destination;
}

void VKFileOperation::setDestination(std::shared_ptr<VKFileResource> destination)
{
    std::lock_guard lock(m_mutex);
    m_destination = std::move(destination);
}

std::string VKFileOperation::label() const
{
    std::lock_guard lock(m_mutex);
    return m_label;
}

void VKFileOperation::setLabel(std::string label)
{
    std::lock_guard lock(m_mutex);
    m_label = std::move(label);
}

void VKFileOperation::beginBackgroundTask()
{
    if (holdsBackgroundTask())
        return;
    // The handler holds the operation weakly: an operation gone before its
    // time ran out has nobody left to tell.
    std::weak_ptr<VKFileOperation> weakSelf = std::static_pointer_cast<VKFileOperation>(shared_from_this());
    m_backgroundTaskIdentifier = core::beginBackgroundTask([weakSelf] {
        auto self = weakSelf.lock();
        if (!self)
            return;
        if (auto delegate = self->delegate()) {
            delegate->fileOperationDidEnd(*self,
                errorWithDomain(VKFileOperationErrorDomain, VKFileOperationErrorCodeBackgroundTimeout,
                    "Background task timeout"));
        }
    });
}

void VKFileOperation::endBackgroundTask()
{
    if (!holdsBackgroundTask())
        return;
    core::endBackgroundTask(m_backgroundTaskIdentifier);
    m_backgroundTaskIdentifier = core::InvalidBackgroundTask;
}

void VKFileOperation::sendDidEndDelegateMessage()
{
    if (auto hooks = VKCloudHooks::current())
        hooks->saveContext();
    std::optional<core::Error> error;
    if (m_errorCount != 0 && !isCancelled())
        error = errorWithDomain(VKFileOperationErrorDomain, VKFileOperationErrorCodeFailedItems,
            localizedErrorDescription());
    if (auto delegate = this->delegate())
        delegate->fileOperationDidEnd(*this, error);
    endBackgroundTask();
}
