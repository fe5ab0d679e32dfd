#pragma once

#include "FileModel/VKDownloadHooks.h"
#include "Support/FileModel/CallRecorder.h"

#include <map>
#include <mutex>

namespace test {

// The download manager as the file model sees it: download items the test
// places in folders, and the deletions asked of it.
class RecordingDownloadHooks : public VKDownloadHooks, public CallRecorder {
public:
    static std::shared_ptr<RecordingDownloadHooks> install();

    void addDownload(const std::string& folder, std::shared_ptr<VKFileResource> download);

    std::vector<std::shared_ptr<VKFileResource>> downloadsForTargetFolder(const std::string& folder) override;
    void deleteDownloadResource(const std::shared_ptr<VKFileResource>& resource) override;
    int webDownloadCount() override;
    void updateDownloadPath(const std::shared_ptr<VKFileResource>& resource, const std::string& path) override;

    void setWebDownloadCount(int count);

private:
    std::mutex m_mutex;
    std::map<std::string, std::vector<std::shared_ptr<VKFileResource>>> m_downloads;
    int m_webDownloadCount = 0;
};

} // namespace test
