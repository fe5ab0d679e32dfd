#pragma once

#include "Kit/VKOperation.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/Error.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class VKFileResource;
class VKFileOperation;

inline constexpr const char* VKFileOperationErrorDomain = "VKFileOperationErrorDomain";
// The background time ran out before the operation ended.
inline constexpr int64_t VKFileOperationErrorCodeBackgroundTimeout = 15201;
// Some items failed; the description comes from the operation.
inline constexpr int64_t VKFileOperationErrorCodeFailedItems = -1;

class VKFileOperationDelegate {
public:
    virtual ~VKFileOperationDelegate() = default;
    virtual void fileOperation(VKFileOperation& operation, float progress) = 0;
    // Once per normal end, and once more when the background time runs out.
    virtual void fileOperationDidEnd(VKFileOperation& operation, const std::optional<core::Error>& error) = 0;
};

// The base of the long operations on a list of items (the cloud operations,
// the media import): what the folder browser's operation machinery and the
// progress view read, and one way of ending — one delegate message with an
// error or nothing — with a background task held from the start of the work
// until that message has returned.
class VKFileOperation : public VKOperation {
public:
    explicit VKFileOperation(std::vector<std::shared_ptr<VKFileResource>> resources);
    ~VKFileOperation() override;

    const std::vector<std::shared_ptr<VKFileResource>>& resources() const { return m_resources; }
    std::shared_ptr<VKFileResource> destination() const;
    void setDestination(std::shared_ptr<VKFileResource> destination);
    std::string label() const;
    void setLabel(std::string label);
    // Written by the worker, read by the progress view.
    float progress() const { return m_progress.load(std::memory_order_relaxed); }
    void setProgress(float progress) { m_progress.store(progress, std::memory_order_relaxed); }
    bool isIndeterminate() const { return m_indeterminate; }
    bool mayBeCancelled() const { return m_mayBeCancelled; }
    std::shared_ptr<VKFileOperationDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKFileOperationDelegate> delegate) { m_delegate = std::move(delegate); }

    uint32_t processedCount() const { return m_processedCount; }
    uint32_t errorCount() const { return m_errorCount; }
    bool holdsBackgroundTask() const { return m_backgroundTaskIdentifier != core::InvalidBackgroundTask; }

protected:
    // Asks for background time unless a task is held already; should the
    // time run out, the delegate hears of it with the time-out error.
    void beginBackgroundTask();
    void endBackgroundTask();
    // The normal end: saves the cloud mirror, tells the delegate (with the
    // failed-items error unless nothing failed or the user cancelled), then
    // ends the background task.
    void sendDidEndDelegateMessage();
    // Describes the failed items; every operation supplies it.
    virtual std::string localizedErrorDescription() = 0;

    bool m_mayBeCancelled = false;
    bool m_indeterminate = true;
    std::atomic<uint32_t> m_processedCount { 0 };
    std::atomic<uint32_t> m_errorCount { 0 };

private:
    const std::vector<std::shared_ptr<VKFileResource>> m_resources;
    mutable std::mutex m_mutex;
    std::shared_ptr<VKFileResource> m_destination;
    std::string m_label;
    std::atomic<float> m_progress { 0 };
    std::weak_ptr<VKFileOperationDelegate> m_delegate;
    core::BackgroundTaskId m_backgroundTaskIdentifier = core::InvalidBackgroundTask;
};
