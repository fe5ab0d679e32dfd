#pragma once

// What the application's launch asks of the download and upload queues,
// whose libraries sit beside the application rather than below its shell.
// Each is wired in at start-up; absent means there is nothing there.

#include "Kit/VKHookSlot.h"

class VKAppDownloadHooks : public VKHookSlot<VKAppDownloadHooks> {
public:
    virtual ~VKAppDownloadHooks() = default;
    // At launch: the downloads a previous run left.
    virtual void initializeDownloads() = 0;
    virtual bool hasActiveDownloads() const = 0;
};

class VKAppUploadHooks : public VKHookSlot<VKAppUploadHooks> {
public:
    virtual ~VKAppUploadHooks() = default;
    // At launch: the uploads a previous run left become paused.
    virtual void initializeUploads() = 0;
};
