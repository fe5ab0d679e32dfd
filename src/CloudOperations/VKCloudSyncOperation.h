#pragma once

#include "CloudOperations/VKCloudFileOperation.h"

#include <deque>

// Makes local copies of cloud files for use without the network: fetches
// them through their services in the order given, at most two at a time,
// with one progress for all. A file whose stored copy is current completes
// at once and lets the next one start. Uploads are left out. It holds no
// background task of its own.
class VKCloudSyncOperation : public VKCloudFileOperation {
public:
    static constexpr size_t MaximumActiveFetches = 2;

    static std::shared_ptr<VKCloudSyncOperation> initWithResources(std::vector<std::shared_ptr<VKFileResource>> resources);

    void run() override;
    // Empties the queue, cancels the running fetches and ends at once.
    void cancel() override;

    size_t activeFetchCount() const { return m_activeFetches.size(); }

    void cloudServiceFetchForPathDidUpdateProgress(VKCloudService&, const std::string& path, float progress) override;
    void cloudServiceFetchCompletedForPath(VKCloudService&, const std::string& path) override;
    void cloudServiceFetchFailedForPath(VKCloudService&, const std::string& path) override;
    void cloudServiceDidCancelFetchForPath(VKCloudService&, const std::string& path) override;

protected:
    std::string localizedErrorDescription() override;

private:
    explicit VKCloudSyncOperation(std::vector<std::shared_ptr<VKFileResource>> resources);

    void processFetchQueue();
    // Takes the fetch of the path off the active list; false when it was
    // not there (an answer for another caller's fetch, or a late one).
    bool removeActiveFetch(const std::string& path);

    std::deque<std::shared_ptr<VKCloudFileResource>> m_fetchQueue;
    std::vector<std::shared_ptr<VKCloudFileResource>> m_activeFetches;
    VKCloudByteCounts m_totalBytes;
    VKCloudByteCounts m_fetchedBytes;
    bool m_processing = false;
};
