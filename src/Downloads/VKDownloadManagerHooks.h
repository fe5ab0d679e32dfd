#pragma once

#include "FileModel/VKDownloadHooks.h"

// The file model's view of the download manager: what the application
// wires into VKDownloadHooks at start-up.
class VKDownloadManagerHooks : public VKDownloadHooks {
public:
    // Makes the hooks current.
    static void install();

    std::vector<std::shared_ptr<VKFileResource>> downloadsForTargetFolder(const std::string& folder) override;
    void deleteDownloadResource(const std::shared_ptr<VKFileResource>& resource) override;
    int webDownloadCount() override;
    void updateDownloadPath(const std::shared_ptr<VKFileResource>& resource, const std::string& path) override;
};
