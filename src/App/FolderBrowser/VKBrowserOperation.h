#pragma once

#include "FileModel/VKFileOperation.h"
#include "Platform/Core/Notification.h"

#include <cstdint>
#include <memory>
#include <string>

// Posted without an object: the browser's operation started; its progress or
// indeterminate flag changed (its progress, posted on the
// thread that set it); it ended (0.1 seconds after the end, on the main
// thread).
inline constexpr const char* VKFolderControllerOperationDidStartNotification =
    "VKFolderControllerOperationDidStartNotification";
struct VKOperationProgress {
    float progress = 0;
};
inline constexpr core::NoticeName<VKOperationProgress> VKFolderControllerOperationProgressNotification { "VKFolderControllerOperationProgressNotification" };
inline constexpr const char* VKFolderControllerOperationDidEndNotification =
    "VKFolderControllerOperationDidEndNotification";

// The one long operation the whole browser runs at a time (a copy, zip,
// unzip, import or cloud operation started from any folder screen): state
// of the process behind one mutex, shared by every folder screen class,
// each of which follows it through the three notifications.
//
// Each start yields a run identity. A worker keeps the identity of the run
// it works for: it counts as cancelled once that run was cancelled or
// replaced by a newer one, and its end touches only its own run, so a
// cancelled worker that runs on cannot end or feed the next operation.
class VKBrowserOperation {
public:
    using Run = uint64_t;
    // No run: what a refused start answers.
    static constexpr Run NoRun = 0;

    // Main thread. Starts the operation (progress 0, not cancelled) and posts
    // DidStart before returning. While another runs the start is refused
    // (logged) and NoRun answered: the running one stays as it is.
    static Run startOperationWithLabel(const std::string& label, bool indeterminate);
    // Makes the operation the current file operation with the process-wide
    // delegate, starts the class-wide operation with its label and flag,
    // and runs it. A refused operation is not run.
    static Run startFileOperation(const std::shared_ptr<VKFileOperation>& operation);

    static bool isOperationInProgress();
    static std::string operationLabel();
    static bool isOperationIndeterminate();
    static std::shared_ptr<VKFileOperation> fileOperation();
    // The run started last (still current after its end, until the next start).
    static Run currentRun();

    // Any thread. Whether the current operation was cancelled; the flag
    // stays until the next start.
    static bool isOperationCancelled();
    // Whether the given run was cancelled or replaced by a newer one.
    static bool isOperationCancelled(Run run);
    static float operationProgress();

    // Main thread; posts nothing.
    static void setOperationLabel(const std::string& label);
    // Any thread. Stores the value clamped to [0, 1] (NaN as 0) and posts
    // Progress on the calling thread. With a run, only while it is current.
    static void setOperationProgress(float progress);
    static void setOperationProgress(float progress, Run run);
    // Main thread. Posts Progress only when the flag changes.
    static void setIsOperationIndeterminate(bool indeterminate);

    // With a file operation, whether it may be cancelled; without, true
    // unless the cloud layer has uploads running.
    static bool canCancelCurrentOperation();
    // Main thread. Marks the run cancelled, detaches and cancels the file
    // operation, and ends the run. Nothing while idle.
    static void cancelOperation();
    // Any thread. Clears the operation and lets the file operation go;
    // DidEnd follows 0.1 seconds later on the main thread. Nothing while
    // idle; with a run, nothing unless it is the current one.
    static void endOperation();
    static void endOperation(Run run);

    // The delegate every file operation started here gets: progress goes to
    // the class-wide operation; the end is taken on the main thread, ends
    // the operation's run and shows a failure (not a background time-out)
    // in a "Warning" alert.
    static std::shared_ptr<VKFileOperationDelegate> fileOperationDelegate();

    // Forgets the operation (the test environment).
    static void resetOperationForTesting();
};
