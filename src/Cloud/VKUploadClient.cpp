#include "Cloud/VKUploadClient.h"

#include "Cloud/VKCloudFileResource.h"
#include "Platform/Core/Path.h"

std::shared_ptr<VKUploadClient> VKUploadClient::initWithSession(std::shared_ptr<DBSession> session)
{
    return std::shared_ptr<VKUploadClient>(new VKUploadClient(std::move(session), "dropbox"));
}

void VKUploadClient::uploadFile(const std::string& filename, const std::string& toPath, const std::string& fromPath)
{
    ++m_uploadingCount;
    DBRestClient::uploadFile(filename, toPath, fromPath);
}

void VKUploadClient::uploadRemainingFiles()
{
    // A source that cannot be sent fails inside uploadFile, and the failure
    // lets every client of the upload go: this one stays to the end here.
    auto self = std::static_pointer_cast<VKUploadClient>(shared_from_this());
    while (m_uploadingCount <= 1 && !m_filesToUpload.empty() && delegate()) {
        auto file = m_filesToUpload.front();
        m_filesToUpload.erase(m_filesToUpload.begin());
        uploadFile(file->name(), core::path::deletingLastPathComponent(file->cloudPath()), file->path());
    }
}
