#pragma once

// The cloud folder screen's tests: the program launched against the fake
// cloud service (linked), whose account holds
//   Docs/{a.txt (5 MB), b.pdf, empty.txt, Sub/, Old/}, Deck.key/, notes.txt
// and the browser's stack [root list, "Dropbox", Docs] with the listings of
// both cloud folders merged into the mirror.

#include "App/Settings/CloudSettingsTestCase.h"

#include "App/FolderBrowser/VKCloudFolderController.h"
#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/Shell/Interface/VKActionSheet.h"
#include "Cloud/VKCloudFileResource.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/ChoiceView.h"

#include <filesystem>
#include <fstream>

namespace test {

class CloudFolderTestCase : public CloudSettingsTestCase {
protected:
    static constexpr uint64_t LargeFileSize = 5 * 1000 * 1000;

    void TearDown() override
    {
        VKFolderControllerBase::resetOperationForTesting();
        docs.reset();
        top.reset();
        CloudSettingsTestCase::TearDown();
    }

    void cloudFile(const std::string& cloudPath, const std::string& contents)
    {
        const std::string path = cloud->localPath(cloudPath);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }
    void cloudFolder(const std::string& cloudPath) { std::filesystem::create_directories(cloud->localPath(cloudPath)); }

    // The account's files, the program launched, and Docs shown.
    void openDocs(const DeviceScreen& device = phoneScreen)
    {
        launchWithCloud(true, device);
        cloudFile("/Docs/a.txt", std::string(LargeFileSize, 'a'));
        cloudFile("/Docs/b.pdf", "%PDF-1.4\n%%EOF\n");
        cloudFile("/Docs/empty.txt", "");
        cloudFolder("/Docs/Sub");
        cloudFolder("/Docs/Old");
        cloudFolder("/Deck.key");
        cloudFile("/Deck.key/index.xml", "<deck/>");
        cloudFile("/notes.txt", "notes");
        root = VKRootFolderController::create({ VKApplication::sharedApplication()->documentsDirectory() });
        auto service = VKCloudFileResource::resourceWithPath(dropbox()->localPath());
        ASSERT_TRUE(service);
        top = std::dynamic_pointer_cast<VKCloudFolderController>(VKFolderController::folderControllerWithResource(service));
        ASSERT_TRUE(top) << "cloud folders open the cloud folder screen";
        browser->setViewControllers({ root, top }, false);
        runLoop();
        ASSERT_TRUE(waitFor([&] { return dropbox()->resourceForCloudPath("/Docs") != nullptr; })) << cloud->errors();
        docs = std::dynamic_pointer_cast<VKCloudFolderController>(
            VKFolderController::folderControllerWithResource(dropbox()->resourceForCloudPath("/Docs")));
        ASSERT_TRUE(docs);
        browser->pushViewController(docs, false);
        runLoop();
        ASSERT_TRUE(waitFor([&] { return docs->rowCount() == 5; })) << docs->rowCount();
        advance(0.2);
    }

    // Requests to an endpoint of the API ("/0/metadata/dropbox/Docs").
    size_t requestCount(std::string_view path) const { return count(path); }
    std::vector<std::string> requestPaths() const
    {
        std::vector<std::string> paths;
        for (const auto& request : cloud->requests())
            paths.push_back(request.pathOnly());
        return paths;
    }

    // The row of a name in Docs, marked (editing on).
    void mark(const std::string& name)
    {
        if (!docs->isEditing())
            docs->setEditing(true, false);
        auto& table = docs->tableView();
        for (int row = 0; row < table.numberOfRows(0); ++row)
            if (auto resource = docs->resourceAtIndexPath({ 0, row }); resource && resource->name() == name) {
                docs->didMarkCell(table, { 0, row });
                return;
            }
        ADD_FAILURE() << "no row " << name;
    }
    std::vector<std::string> rowNames() const
    {
        std::vector<std::string> names;
        for (const auto& resource : docs->filteredResources())
            names.push_back(resource->name());
        return names;
    }
    static std::vector<std::string> titles(const ui::ChoiceView& choice)
    {
        std::vector<std::string> list;
        for (int i = 0; i < choice.numberOfButtons(); ++i)
            list.push_back(choice.buttonTitle(i));
        return list;
    }

    std::shared_ptr<VKCloudFolderController> top;
    std::shared_ptr<VKCloudFolderController> docs;
};

} // namespace test
