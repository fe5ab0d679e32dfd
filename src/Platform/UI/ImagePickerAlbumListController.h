#pragma once

// The picker's first screen: one 56-point row per album (its first
// item's thumbnail, its name, how many items it holds), a spinner while the
// library is being read, and "No Photos or Videos" when it holds nothing.

#include "Platform/UI/TableViewController.h"

namespace ui {

class ActivityIndicator;
class ImagePickerController;
class Label;

class ImagePickerAlbumListController : public TableViewController {
public:
    static constexpr float RowHeight = 56;

    explicit ImagePickerAlbumListController(std::weak_ptr<ImagePickerController> picker);

    // The library changed or finished loading.
    void libraryDidChange();
    bool showsSpinnerForTesting() const;
    bool showsEmptyNoticeForTesting() const;

    void loadView() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotate(Orientation) override { return true; }

    int numberOfRows(TableView&, int section) override;
    std::shared_ptr<TableViewCell> cellForRow(TableView&, IndexPath path) override;
    void didSelectRow(TableView&, IndexPath path) override;

private:
    void updateStatus();

    std::weak_ptr<ImagePickerController> m_picker;
    std::shared_ptr<ActivityIndicator> m_spinner;
    std::shared_ptr<Label> m_emptyNotice;
};

} // namespace ui
