#pragma once

// The folder list's tests: files made in the private and public documents,
// a folder controller shown in the browser's navigation stack (the delegate
// knows it), and the rows read back as names.

#include "FolderBrowserTestCase.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace test {

// The popup still showing somewhere under `view`, if any.
inline VKPopupAlert* findPopup(ui::View& view)
{
    if (auto* popup = dynamic_cast<VKPopupAlert*>(&view); popup && !popup->isDismissed())
        return popup;
    for (const auto& child : view.subviews())
        if (auto* found = findPopup(*child))
            return found;
    return nullptr;
}

// A download item as the download manager makes it.
class FakeDownload : public VKFileResource {
public:
    static std::shared_ptr<FakeDownload> create(std::string path)
    {
        return std::shared_ptr<FakeDownload>(new FakeDownload(std::move(path)));
    }
    bool isDownloadResource() const override { return true; }

private:
    explicit FakeDownload(std::string path) : VKFileResource(std::move(path)) { }
};

class FolderListingTestCase : public FolderBrowserTestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string documents(std::string_view relative = {}) const;
    std::string publicFolder(std::string_view relative = {}) const;
    // Files (with contents) and folders under the private documents.
    std::string makeDocument(std::string_view relative, std::string_view contents = "x");
    static std::shared_ptr<VKFileResource> resource(const std::string& path);

    // A controller for the folder at the bottom of a fresh stack, shown.
    std::shared_ptr<VKFolderController> show(const std::string& path);
    // Pushes a controller for the folder over the one shown.
    std::shared_ptr<VKFolderController> push(const std::string& path);
    static std::vector<std::string> names(VKFolderController& controller);
    // Enters editing and marks the shown controller's rows of these names.
    void markNames(const std::vector<std::string>& wanted);
    static void setSortOrder(int64_t order);
    // Posts as the server does after a client changed the folder at `path`.
    static void postWebDAVUpdate(const std::string& path);
    static void postBrowserUpdate(const std::string& path, const std::shared_ptr<core::Object>& sender = nullptr);

    std::shared_ptr<VKNavigationController> navigation;
    std::shared_ptr<VKFolderController> controller;
};

} // namespace test
