#pragma once

#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class VKFileResource;

// The folder where the PDF viewer keeps each document's word index and page
// text, named by the document's UUID so that an item is indexed once however
// it is moved or renamed. Emptied when it grows past 100 MiB (checked at
// launch) and when the disk quota is rebuilt.
class VKContentIndexManager : public core::Object {
public:
    // Contents above this many bytes are cleared at launch; exactly this much is kept.
    static constexpr uint64_t MaximumCacheSize = 0x6400000;

    static std::shared_ptr<VKContentIndexManager> sharedManager();
    // Replaces the shared manager (tests); null makes a new one on next use.
    static void setSharedManagerForTesting(std::shared_ptr<VKContentIndexManager> manager);

    // <metadata>/ContentIndexCache, made on demand.
    const std::string& cacheDirectory() const { return m_cacheDirectory; }

    // <cache>/<UUID>; nothing (logged) for a resource without a UUID.
    std::optional<std::string> contentIndexPathForResource(const VKFileResource& resource) const;
    // Deletes the resource's index; what fails is ignored.
    void removeCacheForResource(const VKFileResource& resource) const;
    // Measures the folder on a thread of its own and, when it is too large,
    // has it cleared on the main thread.
    void pruneContextIndexes();
    void pruneContextIndexesInBackground();
    // Moves the folder to the trash and makes it again, empty.
    void resetContextIndexes();

private:
    explicit VKContentIndexManager(std::string cacheDirectory);

    const std::string m_cacheDirectory;
};
