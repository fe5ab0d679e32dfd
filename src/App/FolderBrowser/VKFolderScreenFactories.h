#pragma once

#include <functional>
#include <memory>

class VKFileResource;
class VKFolderBrowserServices;
class VKFolderController;

namespace ui {
class ViewController;
}

// The screens the folder screen opens that other parts of the program make:
// a cloud folder's screen and the downloads screen. Registered at launch,
// read from any thread.
class VKFolderScreenFactories {
public:
    using CloudFolderFactory = std::function<std::shared_ptr<VKFolderController>(const std::shared_ptr<VKFileResource>&)>;
    using DownloadScreenFactory = std::function<std::shared_ptr<ui::ViewController>(
        const std::shared_ptr<VKFileResource>& folder, std::weak_ptr<VKFolderBrowserServices> browser)>;

    static void setCloudFolderFactory(CloudFolderFactory factory);
    static CloudFolderFactory cloudFolderFactory();
    static void setDownloadScreenFactory(DownloadScreenFactory factory);
    static DownloadScreenFactory downloadScreenFactory();
};
