#include "App/FolderBrowser/VKImagePicker.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"

#include <fmt/format.h>

namespace {

// The picker's list and the first screen below it carry Done; deeper
// screens (a movie's preview) keep their own right item.
constexpr size_t ScreensWithDone = 3;

void makeBarBlack(ui::NavigationController& navigation)
{
    navigation.navigationBar().setBarStyle(ui::NavigationBar::Style::Black);
    navigation.navigationBar().setTranslucent(false);
}

} // namespace

void VKImagePickerController::viewWillAppear(bool animated)
{
    ui::ImagePickerController::viewWillAppear(animated);
    makeBarBlack(*this);
}

void VKImagePickerController::viewDidDisappear(bool animated)
{
    ui::ImagePickerController::viewDidDisappear(animated);
    auto owner = m_owner.lock();
    if (!owner)
        return;
    if (auto delegate = owner->delegate())
        delegate->imagePickerDidDisappear(*owner);
}

std::shared_ptr<VKImagePicker> VKImagePicker::create()
{
    auto picker = std::shared_ptr<VKImagePicker>(new VKImagePicker());
    picker->setUp();
    return picker;
}

VKImagePicker::~VKImagePicker()
{
    if (m_imagePickerController) {
        m_imagePickerController->setOwner({});
        m_imagePickerController->setDelegate({});
    }
}

void VKImagePicker::setUp()
{
    auto self = sharedAs<VKImagePicker>();
    m_imagePickerController = std::make_shared<VKImagePickerController>();
    m_imagePickerController->setOwner(self);
    m_imagePickerController->setDelegate(std::static_pointer_cast<ui::ImagePickerControllerDelegate>(self));
    m_imagePickerController->setSourceType(ui::ImagePickerController::SourceType::PhotoLibrary);
    auto types = ui::ImagePickerController::availableMediaTypes(ui::ImagePickerController::SourceType::SavedPhotosAlbum);
    if (!types.empty())
        m_imagePickerController->setMediaTypes(std::move(types));
    m_imagePickerController->setAllowsEditing(false);

    m_doneBarButtonItem = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Done);
    m_doneBarButtonItem->addTarget(self, DoneAction, [this](ui::BarButtonItem&) {
        done();
    });

    // The first screen is built now, so that its prompt shows from the start.
    m_imagePickerController->view();
    m_imagePickerController->loadLibrary();
    m_imagePickerController->viewWillAppear(false);
    m_imagePickerController->viewDidAppear(false);
    if (auto first = m_imagePickerController->topViewController()) {
        first->navigationItem().setPrompt(prompt());
        first->navigationItem().setRightBarButtonItem(m_doneBarButtonItem);
    }
}

std::string VKImagePicker::prompt() const
{
    if (m_pickedCount == 0)
        return core::localized("No Items Selected");
    if (m_pickedCount == 1)
        return fmt::format(fmt::runtime(core::localized("{} Item Imported")), m_pickedCount);
    return fmt::format(fmt::runtime(core::localized("{} Items Imported")), m_pickedCount);
}

void VKImagePicker::done()
{
    auto self = shared_from_this();
    if (auto delegate = this->delegate())
        delegate->imagePickerDidEnd(*this);
}

void VKImagePicker::didCancel(ui::ImagePickerController&)
{
    done();
}

void VKImagePicker::didFinishPicking(ui::ImagePickerController& picker, const core::Value& info)
{
    auto self = shared_from_this();
    ++m_pickedCount;
    if (auto top = picker.topViewController())
        top->navigationItem().setPrompt(prompt());
    if (auto delegate = this->delegate())
        delegate->imagePicker(*this, info);
    const core::Value& type = info.isDictionary() && info.dictionary().count(ui::ImagePickerController::mediaTypeKey)
        ? info.dictionary().at(ui::ImagePickerController::mediaTypeKey)
        : core::Value();
    if (type.isString() && type.string() == ui::ImagePickerController::movieType)
        picker.popViewController(true);
}

void VKImagePicker::willShowViewController(ui::NavigationController& navigation, ui::ViewController& controller,
    bool)
{
    makeBarBlack(navigation);
    if (navigation.viewControllers().size() < ScreensWithDone)
        controller.navigationItem().setRightBarButtonItem(m_doneBarButtonItem);
    controller.navigationItem().setPrompt(prompt());
}
