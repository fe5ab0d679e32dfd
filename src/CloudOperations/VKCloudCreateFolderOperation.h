#pragma once

#include "CloudOperations/VKCloudFileOperation.h"

// Creates a folder on the service at the cloud path of a mirror path, and
// once the service confirms it, the folder's node, so that the browser
// lists it at once. Ends on its one answer.
class VKCloudCreateFolderOperation : public VKCloudFileOperation {
public:
    static std::shared_ptr<VKCloudCreateFolderOperation> initWithPath(std::string path);

    const std::string& folderPath() const { return m_folderPath; }
    void run() override;

    void cloudServiceDidCreateDirectoryAtPath(VKCloudService& service, const std::string& path) override;
    void cloudServiceCreateDirectoryFailedForPath(VKCloudService& service, const std::string& path,
        const core::Error&) override;

protected:
    std::string localizedErrorDescription() override;

private:
    explicit VKCloudCreateFolderOperation(std::string path);

    const std::string m_folderPath;
};
