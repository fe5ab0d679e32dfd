#include "Viewers/PDF/VKPDFBookmarkScreens.h"

#include "Viewers/Document/VKBookmarksController.h"
#include "Viewers/PDF/VKBookmarksNavigationController.h"
#include "Viewers/PDF/VKPDFOutlineTableViewController.h"
#include "Viewers/PDF/VKPDFViewController.h"

#include "FileModel/VKFileResource.h"
#include "PDF/VKPDFDocument.h"
#include "Platform/UI/NavigationController.h"

void VKPDFBookmarkScreens::show(VKPDFViewController& viewer, gfx::Point offset)
{
    auto* navigation = viewer.navigationController();
    if (!viewer.resource() || !navigation)
        return;
    viewer.setUIHidden(false, false);
    auto self = viewer.sharedAs<VKPDFViewController>();
    auto bookmarks = VKBookmarksController::initWithFileAtPath(viewer.resource()->path());
    bookmarks->setDelegate(std::static_pointer_cast<VKBookmarksControllerDelegate>(self));
    std::shared_ptr<ui::ViewController> shown;
    if (offset.y >= 0) {
        bookmarks->addBookmarkWithOffset(offset, viewer.contentZoom());
        shown = ui::NavigationController::create(bookmarks);
    } else {
        if (!m_outlineController) {
            m_outlineController = VKPDFOutlineTableViewController::initWithOutlineList(
                viewer.document() ? viewer.document()->outlineList() : nullptr);
            m_outlineController->setDelegate(std::static_pointer_cast<VKPDFOutlineTableViewControllerDelegate>(self));
        }
        if (m_outlineController->isEmpty())
            shown = ui::NavigationController::create(bookmarks);
        else
            shown = VKBookmarksNavigationController::initWithBookmarksController(bookmarks, m_outlineController);
    }
    navigation->presentModalViewController(shown, true);
}
