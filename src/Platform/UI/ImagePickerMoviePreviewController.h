#pragma once

// The picker's look at a movie before it is chosen: its name and size over
// a movie glyph (nothing here plays video), and "Choose" on the right of
// the bar, which hands the movie to the picker's delegate.

#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ViewController.h"

namespace ui {

class BarButtonItem;
class Label;

class ImagePickerMoviePreviewController : public ViewController {
public:
    ImagePickerMoviePreviewController(std::weak_ptr<ImagePickerController> picker, ImagePickerController::Media media);

    const ImagePickerController::Media& media() const { return m_media; }
    const std::shared_ptr<BarButtonItem>& chooseItem() const { return m_choose; }
    const std::shared_ptr<Label>& nameLabel() const { return m_name; }
    const std::shared_ptr<Label>& sizeLabel() const { return m_size; }
    // "700 KB", "12.5 MB", "2.0 GB" (bytes under a kilobyte as "1 KB").
    static std::string sizeText(uint64_t bytes);

    void loadView() override;
    bool shouldAutorotate(Orientation) override { return true; }

private:
    std::weak_ptr<ImagePickerController> m_picker;
    ImagePickerController::Media m_media;
    std::shared_ptr<BarButtonItem> m_choose;
    std::shared_ptr<Label> m_name;
    std::shared_ptr<Label> m_size;
};

} // namespace ui
