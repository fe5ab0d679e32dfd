#include "Support/FileModel/RecordingDownloadHooks.h"

#include "FileModel/VKFileResource.h"

#include <algorithm>

namespace test {

std::shared_ptr<RecordingDownloadHooks> RecordingDownloadHooks::install()
{
    auto hooks = std::make_shared<RecordingDownloadHooks>();
    VKDownloadHooks::setCurrent(hooks);
    return hooks;
}

void RecordingDownloadHooks::addDownload(const std::string& folder, std::shared_ptr<VKFileResource> download)
{
    std::lock_guard lock(m_mutex);
    m_downloads[folder].push_back(std::move(download));
}

std::vector<std::shared_ptr<VKFileResource>> RecordingDownloadHooks::downloadsForTargetFolder(const std::string& folder)
{
    record("downloadsForTargetFolder " + folder);
    std::lock_guard lock(m_mutex);
    auto found = m_downloads.find(folder);
    return found == m_downloads.end() ? std::vector<std::shared_ptr<VKFileResource>>() : found->second;
}

void RecordingDownloadHooks::deleteDownloadResource(const std::shared_ptr<VKFileResource>& resource)
{
    record("deleteDownloadResource " + resource->path());
    std::lock_guard lock(m_mutex);
    for (auto& [folder, downloads] : m_downloads)
        std::erase_if(downloads, [&](const auto& download) { return download == resource; });
}

int RecordingDownloadHooks::webDownloadCount()
{
    std::lock_guard lock(m_mutex);
    return m_webDownloadCount;
}

void RecordingDownloadHooks::setWebDownloadCount(int count)
{
    std::lock_guard lock(m_mutex);
    m_webDownloadCount = count;
}

void RecordingDownloadHooks::updateDownloadPath(const std::shared_ptr<VKFileResource>& resource, const std::string& path)
{
    record("updateDownloadPath " + resource->path() + " " + path);
}

} // namespace test
