#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderScreenFactories.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Window.h"
#include "WebDAV/WebDAVResponse.h"

#include <algorithm>

namespace test {

void FolderListingTestCase::SetUp()
{
    FolderBrowserTestCase::SetUp();
    VKFolderScreenFactories::setCloudFolderFactory(nullptr);
}

void FolderListingTestCase::TearDown()
{
    window().setRootViewController(nullptr);
    if (delegate)
        delegate->setNavigationController(nullptr);
    navigation.reset();
    controller.reset();
    runLoop();
    VKFolderScreenFactories::setCloudFolderFactory(nullptr);
    FolderBrowserTestCase::TearDown();
}

std::string FolderListingTestCase::documents(std::string_view relative) const
{
    std::string root = VKApplication::sharedApplication()->documentsDirectory();
    return relative.empty() ? root : core::path::appendingPathComponent(root, relative);
}

std::string FolderListingTestCase::publicFolder(std::string_view relative) const
{
    std::string root = VKApplication::sharedApplication()->publicDirectory();
    return relative.empty() ? root : core::path::appendingPathComponent(root, relative);
}

std::string FolderListingTestCase::makeDocument(std::string_view relative, std::string_view contents)
{
    std::string path = documents(relative);
    core::fs::createDirectory(core::path::deletingLastPathComponent(path), true);
    if (relative.ends_with('/'))
        core::fs::createDirectory(path, true);
    else
        EXPECT_TRUE(core::fs::writeFileAtomically(path, contents));
    return core::path::standardizingPath(path);
}

std::shared_ptr<VKFileResource> FolderListingTestCase::resource(const std::string& path)
{
    return VKFileResource::resourceWithPath(path);
}

std::shared_ptr<VKFolderController> FolderListingTestCase::show(const std::string& path)
{
    controller = VKFolderController::folderControllerWithResource(resource(path), delegate);
    navigation = VKNavigationController::create(controller);
    delegate->setNavigationController(navigation);
    window().setRootViewController(navigation);
    runLoop();
    return controller;
}

std::shared_ptr<VKFolderController> FolderListingTestCase::push(const std::string& path)
{
    auto pushed = VKFolderController::folderControllerWithResource(resource(path), delegate);
    navigation->pushViewController(pushed, false);
    runLoop();
    return pushed;
}

std::vector<std::string> FolderListingTestCase::names(VKFolderController& controller)
{
    std::vector<std::string> result;
    for (auto& row : controller.listing().resources())
        result.push_back(row->name());
    return result;
}

void FolderListingTestCase::markNames(const std::vector<std::string>& wanted)
{
    controller->setEditing(true, false);
    runLoop();
    auto all = names(*controller);
    for (const auto& name : wanted) {
        auto found = std::find(all.begin(), all.end(), name);
        ASSERT_NE(found, all.end()) << name;
        controller->tableSide().didMarkCell(controller->tableView(), { 0, int(found - all.begin()) });
    }
}

void FolderListingTestCase::setSortOrder(int64_t order)
{
    core::UserDefaults::standard()->set("VKFileSortOrder", core::Value(order));
    runLoop();
}

void FolderListingTestCase::postWebDAVUpdate(const std::string& path)
{
    core::NotificationCenter::defaultCenter().post(WebDAVCollectionDidUpdateNotification, nullptr, { path, "" });
}

void FolderListingTestCase::postBrowserUpdate(const std::string& path, const std::shared_ptr<core::Object>& sender)
{
    core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, sender, { path });
}

} // namespace test
