#pragma once

#include "Cloud/VKDropboxClient.h"

#include <cstdint>
#include <memory>
#include <vector>

class VKCloudFileResource;

// The REST client of one folder of an upload (or of the single uploaded
// file): it keeps the folder's files that have not started yet and sends
// them at most two at a time, so one folder never floods the connection.
class VKUploadClient : public VKDropboxClient {
public:
    static std::shared_ptr<VKUploadClient> initWithSession(std::shared_ptr<DBSession> session);

    // Uploads started on this client that have not answered yet.
    int32_t uploadingCount() const { return m_uploadingCount; }
    void setUploadingCount(int32_t count) { m_uploadingCount = count; }
    // Files of this folder not yet started, in the order they are sent.
    std::vector<std::shared_ptr<VKCloudFileResource>>& filesToUpload() { return m_filesToUpload; }
    void setFilesToUpload(std::vector<std::shared_ptr<VKCloudFileResource>> files) { m_filesToUpload = std::move(files); }

    // Counts the upload, then sends `fromPath` as `filename` into the cloud
    // folder `toPath`.
    void uploadFile(const std::string& filename, const std::string& toPath, const std::string& fromPath);
    // Starts waiting files while fewer than two are in flight. Stops as soon
    // as the client loses its delegate (the upload failed or was cancelled,
    // perhaps inside one of these calls).
    void uploadRemainingFiles();

private:
    using VKDropboxClient::VKDropboxClient;

    int32_t m_uploadingCount = 0;
    std::vector<std::shared_ptr<VKCloudFileResource>> m_filesToUpload;
};
