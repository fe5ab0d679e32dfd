#pragma once

#include "App/FolderBrowser/VKBrowserOperation.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Kit/VKFileManagerDelegate.h"

#include <cstdint>

// The delegate of a zip, unzip or copy that the folder browser runs on a
// worker for its class-wide operation: byte counts become the operation's
// progress, in steps of at least 2 % so that many small pieces do not flood
// the main thread, and every callback tells the worker to stop once its run
// was cancelled or replaced. Used on the worker's thread only.
class VKFolderControllerOperationObserver : public VKZipArchiverDelegate,
                                            public VKZipUnarchiverDelegate,
                                            public VKFileManagerDelegate {
public:
    // Works for the run current when it is made unless given one.
    explicit VKFolderControllerOperationObserver(uint64_t totalBytes,
        VKBrowserOperation::Run run = VKBrowserOperation::currentRun());

    // Counts the bytes just processed; false to stop.
    bool updateProgressBytes(uint64_t bytes);
    bool shouldContinue() const;

    bool zipArchiver(VKZipArchiver&, const std::string&) override { return shouldContinue(); }
    bool zipArchiver(VKZipArchiver&, uint64_t bytes, const std::string&) override
    {
        return updateProgressBytes(bytes);
    }
    bool zipUnarchiver(VKZipUnarchiver&, const std::string&) override { return shouldContinue(); }
    bool zipUnarchiver(VKZipUnarchiver&, uint64_t bytes, const std::string&) override
    {
        return updateProgressBytes(bytes);
    }
    bool shouldCopyItemAtPath(const std::string&, const std::string&) override { return shouldContinue(); }
    bool copyingItemAtPath(const std::string&, const std::string&, uint64_t bytes) override
    {
        return updateProgressBytes(bytes);
    }

    uint64_t totalBytes() const { return m_totalBytes; }
    uint64_t progressBytes() const { return m_progressBytes; }
    // The fraction last reported.
    double progress() const { return m_progress; }

private:
    const uint64_t m_totalBytes;
    const VKBrowserOperation::Run m_run;
    uint64_t m_progressBytes = 0;
    double m_progress = 0;
};
