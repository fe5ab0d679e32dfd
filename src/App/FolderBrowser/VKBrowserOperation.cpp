#include "App/FolderBrowser/VKBrowserOperation.h"

#include "App/FolderBrowser/VKFolderOperations.h"
#include "CloudOperations/VKCloudDownloadOperation.h"
#include "CloudOperations/VKCloudUploadOperation.h"
#include "FileModel/VKCloudHooks.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// The one operation of the process. Everything is read and written under
// the one mutex, whichever folder screen class or worker asks.
struct OperationState {
    std::mutex mutex;
    VKBrowserOperation::Run run = VKBrowserOperation::NoRun;
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
    core::NotificationCenter::defaultCenter().post(VKFolderControllerOperationProgressNotification, nullptr, { progress });
}

void onMainThread(std::function<void()> block)
{
    if (core::Thread::isMainThread())
        block();
    else
        core::performOnMainThread(std::move(block));
}

// The delegate of every file operation the browser runs. The folder
// screens' operations answer the cloud transfers' questions: a download or an upload
// about to hand its items over gets its label, an upload's overwrite
// question its screen.
class ClassWideFileOperationDelegate : public VKCloudDownloadOperationDelegate, public VKCloudUploadOperationDelegate {
public:
    void cloudDownloadOperationWillStart(VKCloudDownloadOperation& operation) override
    {
        VKFolderOperations::cloudDownloadOperationWillStart(operation);
    }
    void cloudUploadOperationWillStart(VKCloudUploadOperation& operation) override
    {
        VKFolderOperations::cloudUploadOperationWillStart(operation);
    }
    void showActionSheet(const std::shared_ptr<ui::ActionSheet>& sheet, VKCloudUploadOperation& operation) override
    {
        VKFolderOperations::showActionSheetForCloudUploadOperation(sheet, operation);
    }

    void fileOperation(VKFileOperation& operation, float progress) override
    {
        auto run = runOf(operation);
        if (run != VKBrowserOperation::NoRun)
            VKBrowserOperation::setOperationProgress(progress, run);
    }

    void fileOperationDidEnd(VKFileOperation& operation, const std::optional<core::Error>& error) override
    {
        auto run = runOf(operation);
        if (run == VKBrowserOperation::NoRun)
            return;
        onMainThread([run, error] {
            if (VKBrowserOperation::currentRun() != run || !VKBrowserOperation::isOperationInProgress())
                return;
            VKBrowserOperation::endOperation(run);
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
    static VKBrowserOperation::Run runOf(const VKFileOperation& operation)
    {
        auto& operationState = state();
        std::lock_guard lock(operationState.mutex);
        if (operationState.fileOperation.get() != &operation || !operationState.inProgress)
            return VKBrowserOperation::NoRun;
        return operationState.run;
    }
};

} // namespace

VKBrowserOperation::Run VKBrowserOperation::startOperationWithLabel(const std::string& label,
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

VKBrowserOperation::Run VKBrowserOperation::startFileOperation(
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

bool VKBrowserOperation::isOperationInProgress()
{
    return locked([](const OperationState& operation) { return operation.inProgress; });
}

std::string VKBrowserOperation::operationLabel()
{
    return locked([](const OperationState& operation) { return operation.label; });
}

bool VKBrowserOperation::isOperationIndeterminate()
{
    return locked([](const OperationState& operation) { return operation.indeterminate; });
}

std::shared_ptr<VKFileOperation> VKBrowserOperation::fileOperation()
{
    return locked([](const OperationState& operation) { return operation.fileOperation; });
}

VKBrowserOperation::Run VKBrowserOperation::currentRun()
{
    return locked([](const OperationState& operation) { return operation.run; });
}

bool VKBrowserOperation::isOperationCancelled()
{
    return locked([](const OperationState& operation) { return operation.cancelled; });
}

bool VKBrowserOperation::isOperationCancelled(Run run)
{
    auto& operation = state();
    std::lock_guard lock(operation.mutex);
    return run != operation.run || operation.cancelled;
}

float VKBrowserOperation::operationProgress()
{
    return locked([](const OperationState& operation) { return operation.progress; });
}

void VKBrowserOperation::setOperationLabel(const std::string& label)
{
    auto& operation = state();
    std::lock_guard lock(operation.mutex);
    operation.label = label;
}

void VKBrowserOperation::setOperationProgress(float progress)
{
    progress = clampedProgress(progress);
    {
        auto& operation = state();
        std::lock_guard lock(operation.mutex);
        operation.progress = progress;
    }
    postProgress(progress);
}

void VKBrowserOperation::setOperationProgress(float progress, Run run)
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

void VKBrowserOperation::setIsOperationIndeterminate(bool indeterminate)
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

bool VKBrowserOperation::canCancelCurrentOperation()
{
    if (auto fileOperation = VKBrowserOperation::fileOperation())
        return fileOperation->mayBeCancelled();
    auto hooks = VKCloudHooks::current();
    return !(hooks && hooks->hasActiveUploads());
}

void VKBrowserOperation::cancelOperation()
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

void VKBrowserOperation::endOperation()
{
    endOperation(currentRun());
}

void VKBrowserOperation::endOperation(Run run)
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

std::shared_ptr<VKFileOperationDelegate> VKBrowserOperation::fileOperationDelegate()
{
    static const auto delegate = std::make_shared<ClassWideFileOperationDelegate>();
    return delegate;
}

void VKBrowserOperation::resetOperationForTesting()
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

