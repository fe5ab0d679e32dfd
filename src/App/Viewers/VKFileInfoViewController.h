#pragma once

// The stand-in viewer of every kind of file no viewer has registered for:
// it shows the file's facts (its type icon, name, kind, size and date),
// gathered off the main thread, with the base's toolbar (the document sheet
// and delete) and sheets.

#include "App/Viewers/VKViewController.h"

#include <memory>

class VKFileInfoViewController : public VKViewController {
public:
    static std::shared_ptr<VKFileInfoViewController> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController);

    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override;
    void loadContentView() override;
    // The facts need no copy of a cloud file: nothing is fetched.
    void startCloudFileFetch() override;
};
