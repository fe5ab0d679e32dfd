#include "App/FolderBrowser/VKFolderControllerBase.h"

#include "App/Shell/Interface/AlertViewAdditions.h"
#include "FileModel/VKCloudHooks.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <cmath>
#include <mutex>

namespace {

// The one operation of the process. Everything is read and written under
// the one mutex, whichever folder screen class or worker asks.
struct OperationState {
    std::mutex mutex;
    VKFolderControllerBase::Run run = VKFolderControllerBase::NoRun;
    bool inProgress = false;
    bool cancelled = false;
    bool indeterminate = false;
    float progress = 0;
    std::string label;
    std::shared_ptr<VKFileOperation> fileOperation;
};

OperationState& state()
{
    static OperationState operation;
    return operation;
}

// A read of the state under its mutex.
template<typename Read> auto locked(Read read)
{
    auto& operation = state();
    std::lock_guard lock(operation.mutex);
    return read(operation);
}

float clampedProgress(float progress)
{
    if (std::isnan(progress))
        return 0;
    return std::clamp(progress, 0.0f, 1.0f);
}

void postProgress(float progress)
{
    core::NotificationCenter::defaultCenter().post(VKFolderControllerOperationProgressNotification, nullptr,
        core::Value::Dictionary { { "progress", double(progress) } });
}

void onMainThread(std::function<void()> block)
{
    if (core::Thread::isMainThread())
        block();
    else
        core::performOnMainThread(std::move(block));
}

class ClassWideFileOperationDelegate : public VKFileOperationDelegate {
public:
    void fileOperation(VKFileOperation& operation, float progress) override
    {
        auto run = runOf(operation);
        if (run != VKFolderControllerBase::NoRun)
            VKFolderControllerBase::setOperationProgress(progress, run);
    }

    void fileOperationDidEnd(VKFileOperation& operation, const std::optional<core::Error>& error) override
    {
        auto run = runOf(operation);
        if (run == VKFolderControllerBase::NoRun)
            return;
        onMainThread([run, error] {
            if (VKFolderControllerBase::currentRun() != run || !VKFolderControllerBase::isOperationInProgress())
                return;
            VKFolderControllerBase::endOperation(run);
            if (!error)
                return;
            if (error->domain() == VKFileOperationErrorDomain
                && error->code() == VKFileOperationErrorCodeBackgroundTimeout)
                return;
            showAlertViewWithTitle(core::localized("Warning"), error->localizedDescription(), core::localized("OK"));
        });
    }

private:
    // The run the operation belongs to: only the current file operation has one.
    static VKFolderControllerBase::Run runOf(const VKFileOperation& operation)
    {
        auto& operationState = state();
        std::lock_guard lock(operationState.mutex);
        if (operationState.fileOperation.get() != &operation || !operationState.inProgress)
            return VKFolderControllerBase::NoRun;
        return operationState.run;
    }
};

} // namespace

VKFolderControllerBase::VKFolderControllerBase(ui::TableView::Style style)
    : ui::TableViewController(style)
{
}

VKFolderControllerBase::~VKFolderControllerBase() = default;

VKFolderControllerBase::Run VKFolderControllerBase::startOperationWithLabel(const std::string& label,
    bool indeterminate)
{
    auto& operation = state();
    Run run;
    {
        std::lock_guard lock(operation.mutex);
        if (operation.inProgress) {
            core::log("Warning, an operation is already in progress: {}", operation.label);
            return NoRun;
        }
        run = ++operation.run;
        operation.inProgress = true;
        operation.cancelled = false;
        operation.label = label;
        operation.progress = 0;
        operation.indeterminate = indeterminate;
    }
    core::NotificationCenter::defaultCenter().post(VKFolderControllerOperationDidStartNotification);
    return run;
}

VKFolderControllerBase::Run VKFolderControllerBase::startFileOperation(
    const std::shared_ptr<VKFileOperation>& fileOperation)
{
    if (!fileOperation)
        return NoRun;
    auto& operation = state();
    {
        std::lock_guard lock(operation.mutex);
        if (operation.inProgress) {
            core::log("Warning, an operation is already in progress: {}", operation.label);
            return NoRun;
        }
        operation.fileOperation = fileOperation;
    }
    fileOperation->setDelegate(fileOperationDelegate());
    Run run = startOperationWithLabel(fileOperation->label(), fileOperation->isIndeterminate());
    fileOperation->run();
    return run;
}

bool VKFolderControllerBase::isOperationInProgress()
{
    return locked([](const OperationState& operation) { return operation.inProgress; });
}

std::string VKFolderControllerBase::operationLabel()
{
    return locked([](const OperationState& operation) { return operation.label; });
}

bool VKFolderControllerBase::isOperationIndeterminate()
{
    return locked([](const OperationState& operation) { return operation.indeterminate; });
}

std::shared_ptr<VKFileOperation> VKFolderControllerBase::fileOperation()
{
    return locked([](const OperationState& operation) { return operation.fileOperation; });
}

VKFolderControllerBase::Run VKFolderControllerBase::currentRun()
{
    return locked([](const OperationState& operation) { return operation.run; });
}

bool VKFolderControllerBase::isOperationCancelled()
{
    return locked([](const OperationState& operation) { return operation.cancelled; });
}

bool VKFolderControllerBase::isOperationCancelled(Run run)
{
    auto& operation = state();
    std::lock_guard lock(operation.mutex);
    return run != operation.run || operation.cancelled;
}

float VKFolderControllerBase::operationProgress()
{
    return locked([](const OperationState& operation) { return operation.progress; });
}

void VKFolderControllerBase::setOperationLabel(const std::string& label)
{
    auto& operation = state();
    std::lock_guard lock(operation.mutex);
    operation.label = label;
}

void VKFolderControllerBase::setOperationProgress(float progress)
{
    progress = clampedProgress(progress);
    {
        auto& operation = state();
        std::lock_guard lock(operation.mutex);
        operation.progress = progress;
    }
    postProgress(progress);
}

void VKFolderControllerBase::setOperationProgress(float progress, Run run)
{
    progress = clampedProgress(progress);
    {
        auto& operation = state();
        std::lock_guard lock(operation.mutex);
        if (run != operation.run || !operation.inProgress)
            return;
        operation.progress = progress;
    }
    postProgress(progress);
}

void VKFolderControllerBase::setIsOperationIndeterminate(bool indeterminate)
{
    float progress;
    {
        auto& operation = state();
        std::lock_guard lock(operation.mutex);
        if (operation.indeterminate == indeterminate)
            return;
        operation.indeterminate = indeterminate;
        progress = operation.progress;
    }
    postProgress(progress);
}

bool VKFolderControllerBase::canCancelCurrentOperation()
{
    if (auto fileOperation = VKFolderControllerBase::fileOperation())
        return fileOperation->mayBeCancelled();
    auto hooks = VKCloudHooks::current();
    return !(hooks && hooks->hasActiveUploads());
}

void VKFolderControllerBase::cancelOperation()
{
    std::shared_ptr<VKFileOperation> fileOperation;
    Run run;
    {
        auto& operation = state();
        std::lock_guard lock(operation.mutex);
        if (!operation.inProgress)
            return;
        operation.cancelled = true;
        fileOperation = operation.fileOperation;
        run = operation.run;
    }
    // Detached first, so that the cancelled operation's end reports nothing.
    if (fileOperation) {
        fileOperation->setDelegate({});
        fileOperation->cancel();
    }
    endOperation(run);
}

void VKFolderControllerBase::endOperation()
{
    endOperation(currentRun());
}

void VKFolderControllerBase::endOperation(Run run)
{
    std::shared_ptr<VKFileOperation> fileOperation;
    {
        auto& operation = state();
        std::lock_guard lock(operation.mutex);
        if (!operation.inProgress || run != operation.run)
            return;
        operation.inProgress = false;
        operation.label.clear();
        operation.indeterminate = false;
        fileOperation = std::move(operation.fileOperation);
    }
    if (fileOperation)
        fileOperation->setDelegate({});
    // The end is always announced from the main loop: a worker's own loop
    // may never run again. The file operation lives until then too, so that
    // it is not destroyed inside one of its own calls.
    onMainThread([fileOperation] {
        if (fileOperation)
            core::RunLoop::main().keepAliveUntilEndOfPass(fileOperation);
        core::RunLoop::main().performAfter(0.1, [] {
            core::NotificationCenter::defaultCenter().post(VKFolderControllerOperationDidEndNotification);
        });
    });
}

std::shared_ptr<VKFileOperationDelegate> VKFolderControllerBase::fileOperationDelegate()
{
    static const auto delegate = std::make_shared<ClassWideFileOperationDelegate>();
    return delegate;
}

void VKFolderControllerBase::resetOperationForTesting()
{
    auto& operation = state();
    std::lock_guard lock(operation.mutex);
    operation.inProgress = false;
    operation.cancelled = false;
    operation.indeterminate = false;
    operation.progress = 0;
    operation.label.clear();
    operation.fileOperation.reset();
}
