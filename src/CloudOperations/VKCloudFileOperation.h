#pragma once

#include "Cloud/VKCloudServiceDelegate.h"
#include "CloudOperations/VKCloudByteCounts.h"
#include "FileModel/VKFileOperation.h"

#include <cstdint>
#include <optional>
#include <memory>
#include <string>
#include <vector>

class VKCloudFileResource;

// What the operations on cloud items share: the operation as the callback
// object the service holds while a request is out, the one end an operation
// has however its answers arrive (answers after it change nothing), and the
// counting of answers that ends an operation when every item has answered.
class VKCloudFileOperation : public VKFileOperation, public VKCloudServiceDelegate {
public:
    bool hasEnded() const { return m_ended; }

protected:
    explicit VKCloudFileOperation(std::vector<std::shared_ptr<VKFileResource>> resources);

    std::shared_ptr<VKCloudServiceDelegate> callback();
    // A refusal before any request: the delegate hears `error` and the
    // operation is over.
    void endWithError(const core::Error& error);
    // The normal end, once: the store saved, the failed-items error unless
    // nothing failed or the user cancelled, the background task ended.
    virtual void sendDidEndDelegateMessage();
    // One request answered (and whether it failed); the last answer ends
    // the operation.
    void didAnswer(bool failed);

    static std::shared_ptr<VKCloudFileResource> cloudResource(const std::shared_ptr<VKFileResource>& resource);
    // The cloud path of `name` inside the folder of cloud path `folder`.
    static std::string cloudPathInFolder(const std::string& folder, const std::string& name);
    // The mirror path of a cloud path the service answered with; nothing
    // for one that is not plain ("..", ".", empty components, NUL).
    static std::optional<std::string> localPathForCloudPath(VKCloudService& service, const std::string& cloudPath);
    // A name a new or renamed item may have on the service.
    static bool isValidItemName(const std::string& name);

    bool m_ended = false;
};

// Byte counts of the operations that follow transfers, by cloud path.
namespace cloudbytes {
// `bytes` × `progress` computed in single precision and truncated.
uint64_t scaled(uint64_t bytes, float progress);
// Reports the share of the bytes done to the operation and its delegate;
// nothing while the total is 0.
void reportProgress(VKFileOperation& operation, const VKCloudByteCounts& done, const VKCloudByteCounts& total);
} // namespace cloudbytes
