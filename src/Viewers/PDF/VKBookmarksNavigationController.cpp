#include "Viewers/PDF/VKBookmarksNavigationController.h"

#include "Viewers/Document/VKBookmarksController.h"
#include "Viewers/PDF/VKPDFOutlineTableViewController.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/SegmentedControl.h"

#include <atomic>

namespace {

std::atomic<int> processChoice { 0 };

} // namespace

int VKBookmarksNavigationController::choice()
{
    return processChoice.load();
}

void VKBookmarksNavigationController::setChoice(int choice)
{
    processChoice.store(choice);
}

std::shared_ptr<VKBookmarksNavigationController> VKBookmarksNavigationController::initWithBookmarksController(
    std::shared_ptr<VKBookmarksController> bookmarks, std::shared_ptr<VKPDFOutlineTableViewController> outline)
{
    auto navigation = std::make_shared<VKBookmarksNavigationController>();
    navigation->m_bookmarksController = std::move(bookmarks);
    navigation->m_outlineController = std::move(outline);
    std::shared_ptr<ui::ViewController> root = choice() != 0
        ? std::static_pointer_cast<ui::ViewController>(navigation->m_outlineController)
        : std::static_pointer_cast<ui::ViewController>(navigation->m_bookmarksController);
    navigation->setViewControllers({ root }, false);

    auto& control = navigation->m_segmentedControl;
    control = ui::SegmentedControl::create({ core::localized("Personal"), core::localized("Document") });
    control->setSegmentedControlStyle(ui::SegmentedControl::Style::Bar);
    std::weak_ptr<VKBookmarksNavigationController> weak = navigation;
    control->addTarget(navigation, "segmentSelected",
        [weak](ui::Control&, const ui::Event*) {
            if (auto self = weak.lock())
                self->segmentSelected();
        },
        ui::Control::ValueChanged);
    control->setSelectedSegmentIndex(choice() != 0 ? 1 : 0);
    control->sizeToFit();
    navigation->segmentSelected();
    navigation->m_bookmarksController->navigationItem().setTitleView(control);
    navigation->m_outlineController->navigationItem().setTitleView(control);
    return navigation;
}

VKBookmarksNavigationController::VKBookmarksNavigationController() = default;

VKBookmarksNavigationController::~VKBookmarksNavigationController() = default;

void VKBookmarksNavigationController::showBookmarks()
{
    if (m_bookmarksController && topViewController() != m_bookmarksController.get())
        setViewControllers({ m_bookmarksController }, false);
}

void VKBookmarksNavigationController::showOutline()
{
    if (m_outlineController && topViewController() != m_outlineController.get())
        setViewControllers({ m_outlineController }, false);
}

void VKBookmarksNavigationController::segmentSelected()
{
    int index = m_segmentedControl ? m_segmentedControl->selectedSegmentIndex() : 0;
    if (index == ui::SegmentedControl::NoSegment)
        return;
    setChoice(index);
    if (index == 0)
        showBookmarks();
    else
        showOutline();
}
