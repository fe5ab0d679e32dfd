#pragma once

// Copies the photos and movies picked in the image picker into a folder of
// the store, one at a time on a worker, while the picker stays open for more
// picks: a file operation ("Copying Media", indeterminate, may be
// cancelled) fed by every pick and ended when its queue runs dry. Into a
// cloud folder each file is also entered into the mirror and queued for
// upload. A picture that has a file comes in as that file (its name, its
// bytes); only one without (pasted, captured) is encoded: PNG when it has
// transparency, else JPEG.
//
// Nothing half-made ever stands under a final name: a file is written in the
// staging folder (VKStagingFolder) and moved in without replacing, taking
// the next free name when someone (a WebDAV upload) took its own meanwhile.
// A cancel during a movie's copy is seen within 8 MiB.

#include "FileModel/VKFileOperation.h"
#include "Platform/Core/Value.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gfx {
class Image;
}

class VKImportMediaOperation;

// The optional side of the operation's delegate (main thread).
class VKImportMediaOperationDelegate {
public:
    virtual ~VKImportMediaOperationDelegate() = default;
    virtual void importMediaOperation(VKImportMediaOperation& operation, const std::string& path) = 0;
};

class VKImportMediaOperation : public VKFileOperation {
public:
    // JPEG quality of imported pictures that come without a file.
    static constexpr float JPEGQuality = 0.85f;

    static std::shared_ptr<VKImportMediaOperation> create(std::shared_ptr<VKFileResource> destination);

    // Main thread. Holds background time and, for a cloud folder not yet
    // downloaded, makes its local folder; imports nothing by itself.
    void run() override;
    // Main thread: one pick's information, under ui::ImagePickerController's
    // keys.
    void importMediaWithInfo(const core::Value& info);
    // While picks wait or one is being imported.
    bool isImporting() const;
    const std::vector<std::shared_ptr<VKFileResource>>& importedResources() const { return m_importedResources; }
    const std::string& destinationPath() const { return m_destinationPath; }
    // Ends the operation now (the picker went after the last import).
    using VKFileOperation::sendDidEndDelegateMessage;

    // Tests: runs on the worker with the hidden file just written, before it
    // is moved in (a test cancels there).
    static void setWrittenHookForTesting(std::function<void(const std::string& hiddenPath)> hook);

protected:
    std::string localizedErrorDescription() override;

private:
    explicit VKImportMediaOperation(std::shared_ptr<VKFileResource> destination);
    void processImportQueue();
    // Worker: the path made, or nothing.
    std::optional<std::string> importMediaInBackground(const core::Value& info);
    std::optional<std::string> importMediaInfo(const core::Value& info);
    // The file a URL names, when it is one.
    static std::optional<std::string> filePath(const core::Value& url);
    // Copies the file in, bytes unchanged, under `name` or the next free one.
    std::optional<std::string> copyIn(const std::string& source, const std::string& name);
    std::optional<std::string> importImage(const std::shared_ptr<gfx::Image>& image, const std::string& proposedFilename);
    // Moves the hidden file in under the proposed name or the next free one.
    std::optional<std::string> moveIn(const std::string& hiddenPath, const std::string& proposedPath);
    std::string uniquePathForProposedPath(const std::string& proposedPath);
    // Main thread.
    void mediaImportDidCompleteForPath(const std::optional<std::string>& path);

    std::deque<core::Value> m_importQueue;
    std::vector<std::shared_ptr<VKFileResource>> m_importedResources;
    std::string m_destinationPath;
    bool m_cloudDestination = false;
    bool m_isImporting = false;
};
