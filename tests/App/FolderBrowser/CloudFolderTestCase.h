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
#include "Shell/Interface/VKActionSheet.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Platform/UI/ActionSheet.h"
#include "Support/Command.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/ChoiceView.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"

#include <filesystem>
#include <fstream>

namespace test {

class CloudFolderTestCase : public CloudSettingsTestCase {
protected:
    static constexpr uint64_t LargeFileSize = 5 * 1000 * 1000;

    void TearDown() override
    {
        VKBrowserOperation::resetOperationForTesting();
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

    // Called once the account's files are written, before any listing.
    virtual void accountFilesMade() { }
    // Closes the sheet shown: its Cancel, or (a tablet's popover has none)
    // a tap beside it.
    void dismissSheet()
    {
        auto sheet = driver.actionSheet();
        if (sheet && !tablet)
            driver.pressSheetButton(sheet->cancelButtonIndex());
        else
            driver.tapOutsideSheet();
        advance(0.5);
    }
    // The account's files, the program launched, and Docs shown.
    void openDocs(const DeviceScreen& device = phoneScreen)
    {
        tablet = device.tablet;
        launchWithCloud(true, device);
        cloudFile("/Docs/a.txt", std::string(LargeFileSize, 'a'));
        cloudFile("/Docs/b.pdf", "%PDF-1.4\n%%EOF\n");
        cloudFile("/Docs/empty.txt", "");
        cloudFolder("/Docs/Sub");
        cloudFolder("/Docs/Old");
        cloudFolder("/Deck.key");
        cloudFile("/Deck.key/index.xml", "<deck/>");
        cloudFile("/notes.txt", "notes");
        accountFilesMade();
        root = VKRootFolderController::create({ VKApplication::sharedApplication()->documentsDirectory() });
        root->setServices(delegate);
        auto service = VKCloudFileResource::resourceWithPath(dropbox()->localPath());
        ASSERT_TRUE(service);
        top = std::dynamic_pointer_cast<VKCloudFolderController>(VKFolderController::folderControllerWithResource(service, delegate));
        ASSERT_TRUE(top) << "cloud folders open the cloud folder screen";
        browser->setViewControllers({ root, top }, false);
        runLoop();
        ASSERT_TRUE(waitFor([&] { return dropbox()->resourceForCloudPath("/Docs") != nullptr; })) << cloud->errors();
        docs = std::dynamic_pointer_cast<VKCloudFolderController>(
            VKFolderController::folderControllerWithResource(dropbox()->resourceForCloudPath("/Docs"), delegate));
        ASSERT_TRUE(docs);
        browser->pushViewController(docs, false);
        runLoop();
        ASSERT_TRUE(waitFor([&] { return docs->listing().count() == 5; })) << docs->listing().count();
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
                docs->tableSide().didMarkCell(table, { 0, row });
                table.reloadData();
                return;
            }
        ADD_FAILURE() << "no row " << name;
    }
    // The row of a name in Docs, the mirror node of one, and the API calls
    // to one endpoint.
    std::shared_ptr<VKFileResource> row(const std::string& name) const
    {
        for (const auto& resource : docs->listing().resources())
            if (resource->name() == name)
                return resource;
        return nullptr;
    }
    std::shared_ptr<VKCloudManagedObject> node(const std::string& name) const
    {
        return VKCloudFileStore::sharedStore()->managedObjectForPath(docs->folderPath() + "/" + name);
    }
    std::vector<FakeCloudServer::Request> requestsTo(std::string_view path) const
    {
        std::vector<FakeCloudServer::Request> found;
        for (const auto& request : cloud->requests())
            if (request.pathOnly() == path)
                found.push_back(request);
        return found;
    }
    static std::string sha256(const std::string& path)
    {
        auto result = runCommand({ "sha256sum", "--", path });
        return result.status == 0 ? result.output.substr(0, 64) : "missing " + path;
    }
    std::vector<std::string> rowNames() const
    {
        std::vector<std::string> names;
        for (const auto& resource : docs->listing().resources())
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
    bool tablet = false;
};

} // namespace test
