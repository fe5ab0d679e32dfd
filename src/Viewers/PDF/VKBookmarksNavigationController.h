#pragma once

// The bookmarks of a PDF beside its outline: a navigation controller whose
// root is one of the two screens, switched by a "Personal" / "Document"
// control that is the title of both. The tab last chosen is remembered for
// the process, so the next opening starts there.

#include "Platform/UI/NavigationController.h"

#include <memory>

namespace ui {
class SegmentedControl;
}
class VKBookmarksController;
class VKPDFOutlineTableViewController;

class VKBookmarksNavigationController : public ui::NavigationController {
public:
    static int choice();
    static void setChoice(int choice);

    static std::shared_ptr<VKBookmarksNavigationController> initWithBookmarksController(
        std::shared_ptr<VKBookmarksController> bookmarks, std::shared_ptr<VKPDFOutlineTableViewController> outline);
    VKBookmarksNavigationController();
    ~VKBookmarksNavigationController() override;

    const std::shared_ptr<VKBookmarksController>& bookmarksController() const { return m_bookmarksController; }
    const std::shared_ptr<VKPDFOutlineTableViewController>& outlineController() const { return m_outlineController; }
    ui::SegmentedControl& segmentedControl() const { return *m_segmentedControl; }

    void showBookmarks();
    void showOutline();
    void segmentSelected();

private:
    std::shared_ptr<VKBookmarksController> m_bookmarksController;
    std::shared_ptr<VKPDFOutlineTableViewController> m_outlineController;
    std::shared_ptr<ui::SegmentedControl> m_segmentedControl;
};
