#pragma once

// The image picker of the folder browser: the toolkit's picker kept open
// after each pick, so that several photos and movies are picked in one
// visit, with a running count in the navigation prompt and a Done button.
// Every pick goes to the delegate, which imports it; a movie's pick returns
// from its preview to the album.

#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"
#include "Platform/UI/ImagePickerController.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ui {
class BarButtonItem;
}

class VKImagePicker;

// Main thread; all required.
class VKImagePickerDelegate {
public:
    virtual ~VKImagePickerDelegate() = default;
    virtual void imagePicker(VKImagePicker& picker, const core::Value& info) = 0;
    // Done or cancel.
    virtual void imagePickerDidEnd(VKImagePicker& picker) = 0;
    // The picker's view has left the screen.
    virtual void imagePickerDidDisappear(VKImagePicker& picker) = 0;
};

// The picker's own controller: black opaque bars, and the news that its view
// went.
class VKImagePickerController : public ui::ImagePickerController {
public:
    void setOwner(std::weak_ptr<VKImagePicker> owner) { m_owner = std::move(owner); }
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

private:
    std::weak_ptr<VKImagePicker> m_owner;
};

class VKImagePicker : public core::Object, public ui::ImagePickerControllerDelegate {
public:
    static constexpr const char* DoneAction = "done:";

    static std::shared_ptr<VKImagePicker> create();
    ~VKImagePicker() override;

    const std::shared_ptr<VKImagePickerController>& imagePickerController() const { return m_imagePickerController; }
    std::shared_ptr<VKImagePickerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKImagePickerDelegate> delegate) { m_delegate = std::move(delegate); }
    const std::shared_ptr<ui::BarButtonItem>& doneBarButtonItem() const { return m_doneBarButtonItem; }
    uint32_t pickedCount() const { return m_pickedCount; }

    // "No Items Selected", "1 Item Imported", "2 Items Imported".
    std::string prompt() const;
    void done();

    void didFinishPicking(ui::ImagePickerController& picker, const core::Value& info) override;
    void didCancel(ui::ImagePickerController& picker) override;
    void willShowViewController(ui::NavigationController& navigation, ui::ViewController& controller,
        bool animated) override;

private:
    VKImagePicker() = default;
    void setUp();
    void applyBarStyle();

    std::shared_ptr<VKImagePickerController> m_imagePickerController;
    uint32_t m_pickedCount = 0;
    std::weak_ptr<VKImagePickerDelegate> m_delegate;
    std::shared_ptr<ui::BarButtonItem> m_doneBarButtonItem;
};
