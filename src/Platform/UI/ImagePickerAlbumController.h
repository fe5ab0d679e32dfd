#pragma once

// The picker's screen of one album: its pictures and movies as a grid of
// 75-point thumbnails, 4 points apart (four a row on a phone held upright,
// as many as fit elsewhere, the grid centred), in rows of a table so that
// only the rows on screen hold views. A tap on a square picks it through
// the picker.

#include "Platform/UI/TableViewController.h"

namespace ui {

class ImagePickerController;
class ImagePickerThumbnailView;

class ImagePickerAlbumController : public TableViewController {
public:
    static constexpr float Gap = 4;

    ImagePickerAlbumController(std::weak_ptr<ImagePickerController> picker, size_t album);

    size_t album() const { return m_album; }
    // Squares a row holds at the table's width now.
    size_t columns() const;
    static size_t columnsForWidth(float width);
    // The square of the media at `index` while its row is on screen.
    ImagePickerThumbnailView* thumbnailView(size_t index);
    void scrollToMedia(size_t index, bool animated);

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void didRotate(Orientation fromOrientation) override;
    bool shouldAutorotate(Orientation) override { return true; }
    void didReceiveMemoryWarning() override;

    int numberOfRows(TableView&, int section) override;
    std::shared_ptr<TableViewCell> cellForRow(TableView&, IndexPath path) override;

private:
    void tapped(size_t index);
    size_t mediaCount() const;
    void relayoutIfColumnsChanged();

    std::weak_ptr<ImagePickerController> m_picker;
    size_t m_album;
    size_t m_shownColumns = 0;
};

} // namespace ui
