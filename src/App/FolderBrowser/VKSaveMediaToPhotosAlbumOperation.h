#pragma once

// Copies image and movie files of the store into the device's photo album:
// the folder browser's marked items, the image viewer's picture. Images
// larger than the native landscape size, or not upright, go scaled to its
// width; movies the album cannot take are refused. The files are handed to
// the album on the shared image queue, at most two at a time, so that a
// thousand photos never hold a thousand decoded images; the album's answers
// are counted on the main thread, where the delegate hears of each file and
// of the end.

#include "Kit/VKOperation.h"
#include "Platform/Core/Error.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class VKSaveMediaToPhotosAlbumOperation;

// Main thread.
class VKSaveMediaToPhotosAlbumOperationDelegate {
public:
    virtual ~VKSaveMediaToPhotosAlbumOperationDelegate() = default;
    // After the last file's answer: nothing when every file was saved, else
    // the Cocoa-domain error 512 with {"failureCount": files not saved}.
    virtual void saveMediaToPhotosAlbumOperationDidEnd(VKSaveMediaToPhotosAlbumOperation& operation,
        const std::optional<core::Error>& error) = 0;
    virtual void saveMediaToPhotosAlbumOperationDidProcessMedia(VKSaveMediaToPhotosAlbumOperation&,
        const std::string& /*path*/) { }
};

class VKSaveMediaToPhotosAlbumOperation : public VKOperation {
public:
    // A movie the album does not take: Cocoa domain, code 518.
    static constexpr int64_t UnsupportedMovieErrorCode = 518;
    // The end's error when files were not saved: Cocoa domain, code 512.
    static constexpr int64_t FailedSavesErrorCode = 512;
    // Files handed to the album and not yet answered, at most.
    static constexpr int MaximumSavesInFlight = 2;

    static std::shared_ptr<VKSaveMediaToPhotosAlbumOperation> create(std::vector<std::string> mediaPaths);
    ~VKSaveMediaToPhotosAlbumOperation() override;

    // Main thread. Puts the operation on the shared image queue; the
    // operation keeps itself alive until the last answer has been counted.
    void start();
    // Processed files over all files; 0 without files.
    float progress() const;
    const std::vector<std::string>& mediaPaths() const { return m_mediaPaths; }
    int32_t processedCount() const { return m_processedCount; }
    int32_t successCount() const { return m_successCount; }

    std::shared_ptr<VKSaveMediaToPhotosAlbumOperationDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKSaveMediaToPhotosAlbumOperationDelegate> delegate)
    {
        m_delegate = std::move(delegate);
    }

    // On the image queue: hands files to the album while fewer than
    // MaximumSavesInFlight are unanswered; an answer puts it on the queue
    // again for the rest. A cancelled operation hands no more files and,
    // its last answers counted, sends no end.
    void run() override;

    // Main thread: one file's answer.
    void mediaDidFinishSavingWithError(const std::optional<core::Error>& error, const std::string& path);

private:
    explicit VKSaveMediaToPhotosAlbumOperation(std::vector<std::string> mediaPaths);
    void saveMediaAtPath(const std::string& path);
    // Any thread: the answer for `path`, counted on the main thread.
    void answer(const core::Error* error, const std::string& path);

    const std::vector<std::string> m_mediaPaths;
    std::atomic<int32_t> m_processedCount { 0 };
    std::atomic<int32_t> m_successCount { 0 };
    std::weak_ptr<VKSaveMediaToPhotosAlbumOperationDelegate> m_delegate;

    std::mutex m_mutex;
    size_t m_next = 0;
    int m_inFlight = 0;
    // On the image queue, waiting or running.
    bool m_queued = false;
};
