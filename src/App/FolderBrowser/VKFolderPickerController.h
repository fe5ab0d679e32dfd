#pragma once

#include "Shell/VKNavigationController.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

class VKCloudService;
class VKFileResource;
class VKFolderPickerController;
class VKFolderPickerViewController;
class VKRootFolderDataSource;

class VKFolderPickerControllerDelegate {
public:
    virtual ~VKFolderPickerControllerDelegate() = default;
    virtual void folderPickerController(VKFolderPickerController& picker, const std::shared_ptr<VKFileResource>& folder) = 0;
    virtual void didCancelFolderPickerController(VKFolderPickerController& picker) = 0;
};

// Where a move, copy or download goes: a stack whose first screen lists the
// roots and whose further screens list one folder's subfolders. A row is
// picked by a tap; its accessory opens it. Folders may be disabled: the
// items being moved, and with `recursive` everything below them too.
//
// The picker remembers the folder on top when it closed
// ("VKFolderPickerControllerLastKnownLeaf", a path under the application's
// home written with "~") and opens on it again when it still exists, is
// listed by this picker and is not disabled.
class VKFolderPickerController : public VKNavigationController {
public:
    static constexpr const char* LastKnownLeafKey = "VKFolderPickerControllerLastKnownLeaf";
    static constexpr const char* CancelAction = "didCancel:";

    // The private documents, then the public ones.
    static std::shared_ptr<VKFolderPickerController> folderPickerWithLocalDirectories();
    // The same and the linked services.
    static std::shared_ptr<VKFolderPickerController> folderPickerWithStandardDirectories();
    static std::shared_ptr<VKFolderPickerController> folderPickerWithLinkedCloudServices();
    // That one service; a remembered folder outside it becomes its root.
    static std::shared_ptr<VKFolderPickerController> folderPickerWithCloudService(const std::shared_ptr<VKCloudService>& service);
    static std::shared_ptr<VKFolderPickerController> create(const std::shared_ptr<VKRootFolderDataSource>& dataSource);

    std::shared_ptr<VKFolderPickerControllerDelegate> pickerDelegate() const { return m_pickerDelegate.lock(); }
    void setPickerDelegate(std::weak_ptr<VKFolderPickerControllerDelegate> delegate) { m_pickerDelegate = std::move(delegate); }
    const std::shared_ptr<core::Object>& userInfo() const { return m_userInfo; }
    void setUserInfo(std::shared_ptr<core::Object> userInfo) { m_userInfo = std::move(userInfo); }

    bool showsCancelButton() const;
    void setShowsCancelButton(bool shows);
    void didCancel(const std::shared_ptr<core::Object>& sender);

    // Reloads the top screen when its view is loaded.
    void addDisabledFolder(const std::shared_ptr<VKFileResource>& folder, bool recursive);
    // The flag the folder itself was added with.
    std::optional<bool> disabledValueForFolder(const VKFileResource& folder) const;
    // Whether the path may not be picked: added itself (any flag), or below
    // a folder added with `recursive` (whole components compared).
    bool isFolderDisabled(const std::string& path) const;
    // Whether the path lies in or is a folder added with `recursive`.
    bool isWithinRecursivelyDisabledFolder(const std::string& path) const;

    VKFolderPickerViewController* rootScreen() const;
    std::shared_ptr<VKRootFolderDataSource> rootFolderDataSource() const;
    std::shared_ptr<VKFileResource> rootResource() const;
    bool subfolderBrowsingDisabled() const;
    // Turning it on pops to the root screen and forgets the remembered folder.
    void setSubfolderBrowsingDisabled(bool disabled);

    // The remembered folder when it still exists.
    static std::shared_ptr<VKFileResource> lastKnownLeaf();
    static void setLastKnownLeaf(const std::shared_ptr<VKFileResource>& folder);

    void viewDidLoad() override;
    void viewWillDisappear(bool animated) override;

private:
    // Reads and forgets the remembered folder, and answers its path when
    // this picker may open on it.
    std::optional<std::string> takeRestorableLeaf();
    void restoreStack(const std::string& leaf);

    std::map<std::string, bool> m_disabledItems;
    std::weak_ptr<VKFolderPickerControllerDelegate> m_pickerDelegate;
    std::shared_ptr<core::Object> m_userInfo;
};
