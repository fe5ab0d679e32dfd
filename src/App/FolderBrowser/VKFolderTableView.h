#pragma once

// The folder list's table. It keeps the letter strip that is added to it
// (a VKIndexView) pinned VKFolderControllerIndexViewMargin below the top of
// the visible area on every scroll step and in front of everything added
// after it (rows, sticky headers). Touches on the strip are never held back
// and never become a drag of the list.

#include "App/FolderBrowser/VKMultiEditTableView.h"

class VKFolderController;
class VKIndexView;

// The gap between the top of the visible area and the letter strip.
inline constexpr float VKFolderControllerIndexViewMargin = 2.0f;

class VKFolderTableView : public VKMultiEditTableView {
public:
    static std::shared_ptr<VKFolderTableView> create(const gfx::Rect& frame = {}, Style style = Style::Plain);
    explicit VKFolderTableView(Style style = Style::Plain);
    ~VKFolderTableView() override;

    // The controller whose list this is (set when it loads its view).
    std::shared_ptr<VKFolderController> folderController() const { return m_folderController.lock(); }
    void setFolderController(std::weak_ptr<VKFolderController> controller) { m_folderController = std::move(controller); }
    // The strip while it is a subview.
    VKIndexView* indexStrip() const { return m_indexStrip; }

    void didAddSubview(ui::View* subview) override;
    void willRemoveSubview(ui::View* subview) override;
    void layoutSubviews() override;
    bool delaysTouchesInContentView(const ui::View* view) const override;

private:
    std::weak_ptr<VKFolderController> m_folderController;
    VKIndexView* m_indexStrip = nullptr;
};
