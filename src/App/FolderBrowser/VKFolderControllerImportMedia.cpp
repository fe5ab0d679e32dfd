// Importing photos and movies from the picker into the listed folder. The
// first pick starts the import as the browser's one long operation; while
// the picker shows, the screen is the import's delegate, ignores its
// progress and holds back its end, so that every later pick of the visit
// feeds the same operation. When the picker has gone the import reports to
// the class again (its progress in the toolbar) or, already done, ends now.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKImagePicker.h"
#include "App/FolderBrowser/VKImportMediaOperation.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/NavigationController.h"

namespace {

std::shared_ptr<VKImportMediaOperation> runningImport()
{
    if (!VKFolderControllerBase::isOperationInProgress())
        return nullptr;
    return std::dynamic_pointer_cast<VKImportMediaOperation>(VKFolderControllerBase::fileOperation());
}

} // namespace

// The screen's side of the import while the picker shows; the screen keeps
// it, the operation holds it weakly.
class VKFolderImportMediaDelegate : public VKFileOperationDelegate, public VKImportMediaOperationDelegate {
public:
    explicit VKFolderImportMediaDelegate(std::weak_ptr<VKFolderController> controller)
        : m_controller(std::move(controller))
    {
    }
    void fileOperation(VKFileOperation&, float) override { }
    void fileOperationDidEnd(VKFileOperation& operation, const std::optional<core::Error>& error) override
    {
        auto controller = m_controller.lock();
        if (controller && controller->isImagePickerShown())
            return;
        VKFolderControllerBase::fileOperationDelegate()->fileOperationDidEnd(operation, error);
    }
    void importMediaOperation(VKImportMediaOperation& operation, const std::string& path) override
    {
        if (auto controller = m_controller.lock())
            controller->importMediaOperation(operation, path);
    }

private:
    std::weak_ptr<VKFolderController> m_controller;
};

void VKFolderController::importMedia(const std::shared_ptr<core::Object>&)
{
    auto navigation = navigationController();
    if (!navigation)
        return;
    m_imagePicker = VKImagePicker::create();
    m_imagePicker->setDelegate(std::static_pointer_cast<VKImagePickerDelegate>(self()));
    navigation->presentModalViewController(m_imagePicker->imagePickerController(), true);
}

void VKFolderController::imagePicker(VKImagePicker&, const core::Value& info)
{
    auto operation = runningImport();
    if (!operation) {
        if (isOperationInProgress()) {
            core::log("VKFolderController: an operation is running; not importing the picked media");
            return;
        }
        operation = VKImportMediaOperation::create(m_resource);
        if (startFileOperation(operation) == NoRun)
            return;
        if (!m_importMediaDelegate)
            m_importMediaDelegate = std::make_shared<VKFolderImportMediaDelegate>(self());
        operation->setDelegate(m_importMediaDelegate);
    }
    operation->importMediaWithInfo(info);
}

void VKFolderController::imagePickerDidEnd(VKImagePicker&)
{
    if (auto navigation = navigationController())
        navigation->dismissModalViewController(true);
}

void VKFolderController::imagePickerDidDisappear(VKImagePicker&)
{
    auto self = this->self();
    setEditing(false, true);
    m_imagePicker.reset();
    auto operation = runningImport();
    if (!operation)
        return;
    const auto& imported = operation->importedResources();
    if (!imported.empty())
        scrollToResource(imported.front(), ui::TableView::ScrollPosition::Middle, true);
    if (operation->isImporting())
        operation->setDelegate(fileOperationDelegate());
    else
        operation->sendDidEndDelegateMessage();
}

void VKFolderController::importMediaOperation(VKImportMediaOperation&, const std::string& path)
{
    auto resource = VKFileResource::resourceWithPath(path);
    if (resource && isVisibleViewController())
        scrollToResource(resource, ui::TableView::ScrollPosition::Middle, true);
}
