// The PDF viewer's search bar: the field over the navigation bar, the
// arrows and status of the modal toolbar, the dimmed page while typing,
// and the answers of the search controller.

#include "Viewers/PDF/VKPDFViewController.h"

#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKSearchField.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKFileResource.h"
#include "PDF/VKDocumentRange.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFSearchController.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UUID.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/Screen.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fmt/format.h>

namespace {

// Forward: the next hit (down arrow, Return); backward: the one before.
constexpr int SearchForward = -1;
constexpr int SearchBackward = 1;

std::string percentText(const char* format, float fraction)
{
    int percent = std::isfinite(fraction) ? int(fraction * 100) : 0;
    return fmt::format(fmt::runtime(core::localized(format)), percent);
}

} // namespace

bool VKPDFViewController::performKeyCommand(ui::KeyCommand command)
{
    if (command != ui::KeyCommand::Find)
        return VKDocumentViewController::performKeyCommand(command);
    if (m_searchBar && m_searchBar->window() && m_searchField)
        m_searchField->becomeFirstResponder();
    else
        searchButtonWasPressed();
    return true;
}

void VKPDFViewController::searchButtonWasPressed()
{
    auto* navigation = navigationController();
    if (!m_document || !resource() || !navigation || !view())
        return;
    auto self = sharedAs<VKPDFViewController>();
    std::weak_ptr<VKPDFViewController> weak = self;
    gfx::Rect barBounds = navigation->navigationBar().bounds();

    if (!m_searchController) {
        std::optional<std::string> indexPath = VKContentIndexManager::sharedManager()->contentIndexPathForResource(*resource());
        if (!indexPath) {
            // No identity to keep an index under: one for this viewer only.
            if (m_temporaryIndexPath.empty())
                m_temporaryIndexPath = core::paths::temporaryDirectory() + "VKPDFSearch-" + core::uuidString() + ".index";
            indexPath = m_temporaryIndexPath;
        }
        m_searchController = VKPDFSearchController::initWithDocument(m_document, *indexPath);
        m_searchController->setDelegate(std::static_pointer_cast<VKPDFSearchControllerDelegate>(self));
        // Page views draw their highlights from the same store.
        if (!m_pageIndexStore)
            m_pageIndexStore = m_searchController->pageIndexStore();
    }
    if (!m_searchField) {
        m_searchField = VKSearchField::create(barBounds);
        m_searchField->setDelegate(std::static_pointer_cast<ui::TextFieldDelegate>(self));
        m_searchField->setReturnKeyType(ui::TextInput::ReturnKeyType::Search);
        m_searchField->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
        m_searchField->setKeyboardAppearance(ui::TextInput::KeyboardAppearance::Alert);
        m_searchField->setAutoresizingMask(ui::View::FlexibleWidth);
    }
    if (auto find = ui::Pasteboard::named(ui::Pasteboard::findName, false))
        m_searchField->setText(find->string().value_or(std::string()));
    else
        m_searchField->setText("");

    auto cancel = barButtonSystemItem(ui::BarButtonItem::SystemItem::Cancel, self, "searchBarDidCancel",
        [weak](ui::BarButtonItem&) {
            if (auto viewer = weak.lock())
                viewer->searchBarDidCancel(true);
        });
    if (!m_searchBar) {
        auto item = ui::NavigationItem::create();
        item->setTitleView(m_searchField);
        item->setRightBarButtonItem(cancel);
        m_searchBar = ui::NavigationBar::create();
        m_searchBar->setBarStyle(ui::NavigationBar::Style::Black);
        m_searchBar->setTranslucent(true);
        m_searchBar->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        m_searchBar->pushItem(item, false);
    } else if (auto* item = m_searchBar->topItem()) {
        item->setRightBarButtonItem(cancel);
    }
    m_searchBar->setFrame(barBounds);

    if (!m_upItem) {
        m_upItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowUp.png"), ui::BarButtonItem::Style::Plain,
            self, "searchToolbarUpButtonPressed", [weak](ui::BarButtonItem&) {
                if (auto viewer = weak.lock())
                    viewer->searchToolbarUpButtonPressed();
            });
        m_downItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowDown.png"),
            ui::BarButtonItem::Style::Plain, self, "searchToolbarDownButtonPressed", [weak](ui::BarButtonItem&) {
                if (auto viewer = weak.lock())
                    viewer->searchToolbarDownButtonPressed();
            });
    }
    setSearchArrowsEnabled(!m_searchField->text().empty());

    if (!m_searchStatusItem) {
        // On a phone the arrows, their spaces and the bar's own gaps leave
        // less than the full width beside them; the text shrinks to fit.
        const gfx::Rect screen = ui::Screen::main() ? ui::Screen::main()->bounds() : gfx::Rect { 0, 0, 320, 480 };
        const float width = std::min(StatusLabelWidth, std::min(screen.width(), screen.height()) - StatusLabelMargin);
        m_searchStatusLabel = ui::Label::create(gfx::Rect(0, 0, width, StatusLabelHeight));
        m_searchStatusLabel->setFont(ui::Fonts::systemFont(14));
        m_searchStatusLabel->setAdjustsFontSizeToFitWidth(true);
        m_searchStatusLabel->setMinimumFontSize(10);
        m_searchStatusLabel->setTextAlignment(gfx::TextAlignment::Center);
        m_searchStatusLabel->setBackgroundColor(gfx::Color::white(0, 0));
        m_searchStatusLabel->setTextColor(gfx::Color::white(1));
        m_searchStatusLabel->setShadowColor(gfx::Color::white(0));
        m_searchStatusLabel->setShadowOffset(gfx::Size(0, 1));
        m_searchStatusItem = barButtonItemWithCustomView(m_searchStatusLabel);
        updateSearchStatusText(std::nullopt);
    }

    if (!m_searchDimmingView) {
        m_searchDimmingView = VKKeyboardDimmingView::create({ std::weak_ptr<ui::Responder>(m_searchField) });
        m_searchDimmingView->setDelegate(std::static_pointer_cast<VKKeyboardDimmingViewDelegate>(self));
    }
    m_searchDimmingView->setFrame(view()->bounds());
    m_searchDimmingView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_searchDimmingView->setHidden(false);
    view()->addSubview(m_searchDimmingView);

    setToolbarModal(true);
    setToolbarItems({ fixedSpaceBarButtonItemWithWidth(16), m_upItem, flexibleSpaceBarButtonItem(), m_searchStatusItem,
        flexibleSpaceBarButtonItem(), m_downItem, fixedSpaceBarButtonItemWithWidth(16) });

    // The navigation bar remakes its item views on the change, over what
    // it holds; the search bar goes on top after that.
    navigationItem().setHidesBackButton(true);
    navigation->navigationBar().layoutIfNeeded();
    navigation->navigationBar().addSubview(m_searchBar);
    // The bar places the field only when laid out.
    m_searchBar->layoutIfNeeded();
    m_searchField->becomeFirstResponder();

    // Set at each opening while the index is incomplete: a search that
    // finds nothing then says once that more may come.
    if (!m_searchController->fullyIndexed())
        m_shouldShowPartialIndexWarning = true;
    m_searchController->searchForString("", nullptr, SearchForward);
    if (!m_currentResult)
        m_currentResult = VKDocumentRange::rangeWithPage(std::max(1u, currentPageNumber()), core::Range { 0, 0 });
    setUIHidden(false, true);
}

void VKPDFViewController::setSearchArrowsEnabled(bool enabled)
{
    if (m_upItem)
        m_upItem->setEnabled(enabled);
    if (m_downItem)
        m_downItem->setEnabled(enabled);
}

void VKPDFViewController::searchBarDidCancel(bool fromCancelButton)
{
    if (!m_searchField)
        return;
    auto keep = shared_from_this();
    std::string text = m_searchField->text();
    if (!text.empty())
        ui::Pasteboard::named(ui::Pasteboard::findName, true)->setString(text);
    if (fromCancelButton)
        m_searchField->setText("");
    m_searchField->resignFirstResponder();
    updateSearchStatusText(std::nullopt);
    if (m_searchController)
        m_searchController->cancelSearch();
    if (m_searchDimmingView)
        m_searchDimmingView->removeFromSuperview();
    m_currentResult.reset();

    setToolbarModal(false);
    setToolbarItems(createToolbarItems());
    if (m_searchBar)
        m_searchBar->removeFromSuperview();
    navigationItem().setHidesBackButton(false);
    setUIHidden(false, true);
}

void VKPDFViewController::keyboardDimmingViewDidReceiveTouches(VKKeyboardDimmingView&)
{
    searchBarDidCancel(false);
}

void VKPDFViewController::searchForFieldText(int direction)
{
    if (!m_searchController || !m_searchField)
        return;
    m_searchController->searchForString(m_searchField->text(), m_currentResult, direction);
}

bool VKPDFViewController::shouldReturn(ui::TextField& field)
{
    if (!field.text().empty())
        searchForFieldText(SearchForward);
    field.resignFirstResponder();
    return true;
}

bool VKPDFViewController::shouldChangeCharacters(ui::TextField& field, core::Range, std::string_view replacement)
{
    if (&field == m_searchField.get())
        setSearchArrowsEnabled(!field.text().empty() || !replacement.empty());
    return true;
}

void VKPDFViewController::searchToolbarDownButtonPressed()
{
    searchToolbarArrowPressed(SearchForward);
}

void VKPDFViewController::searchToolbarUpButtonPressed()
{
    searchToolbarArrowPressed(SearchBackward);
}

void VKPDFViewController::searchToolbarArrowPressed(int direction)
{
    if (m_searchDimmingView)
        m_searchDimmingView->setHidden(true);
    searchForFieldText(direction);
    if (m_searchField)
        m_searchField->resignFirstResponder();
}

void VKPDFViewController::updateSearchStatusText(const std::optional<std::string>& text)
{
    if (!m_searchStatusLabel)
        return;
    if (text) {
        m_searchStatusLabel->setText(*text);
        return;
    }
    unsigned count = pageCount();
    core::Range range = m_documentView ? m_documentView->currentIndexRange() : core::Range { core::kNotFound, 0 };
    if (count < 2 || range.location == core::kNotFound || range.length == 0) {
        m_searchStatusLabel->setText("");
        return;
    }
    if (range.length == 1)
        m_searchStatusLabel->setText(fmt::format(fmt::runtime(core::localized("Page {} of {}")), range.location + 1, count));
    else
        m_searchStatusLabel->setText(fmt::format(fmt::runtime(core::localized("Pages {}-{} of {}")), range.location + 1,
            range.location + range.length, count));
}

void VKPDFViewController::pageRangeDidChange()
{
    updateSearchStatusText(std::nullopt);
}

void VKPDFViewController::clearSearchHighlights()
{
    if (!m_documentView)
        return;
    for (auto& view : m_documentView->cachedPageViews())
        if (auto* pageView = dynamic_cast<VKPDFPageView*>(view.get()))
            pageView->setHighlightedTextRange({ core::kNotFound, 0 });
}

// ---- The search controller's answers -------------------------------------------

void VKPDFViewController::searchControllerDidFindResult(VKPDFSearchController& controller,
    std::shared_ptr<VKDocumentRange> result, const std::string& searchString)
{
    // The query without a string that opening the bar sends finds nothing;
    // it must not turn the arrows on over an empty field nor drop the
    // visible page as the next search's start.
    if (!result && searchString.empty())
        return;
    setSearchArrowsEnabled(true);
    // An index kept under the same identity from an older version of the
    // file can name pages this document does not have.
    if (result && (result->page() == 0 || result->page() > pageCount())) {
        core::log("Warning, search hit outside the document: {}", result->description());
        result.reset();
        rebuildIndexForSearchController(controller);
    }
    if (result && m_documentView) {
        clearSearchHighlights();
        size_t index = result->page() - 1;
        auto view = m_documentView->viewForPageAtIndex(index);
        if (auto* pageView = dynamic_cast<VKPDFPageView*>(view.get())) {
            pageView->setHighlightedTextRange(result->range());
            m_documentView->scrollToPageAtIndex(index, pageView->anchorRectForTextRange(result->range()), true);
        } else {
            m_documentView->scrollToPageAtIndex(index, gfx::Rect(), true);
        }
    } else if (!result && controller.fullyIndexed() && !searchString.empty()) {
        updateSearchStatusText(fmt::format(fmt::runtime(core::localized("\"{}\" not found.")), searchString));
        setSearchArrowsEnabled(false);
    } else if (!result && !controller.fullyIndexed() && m_shouldShowPartialIndexWarning) {
        m_shouldShowPartialIndexWarning = false;
        ui::AlertView::create(core::localized("Indexing not yet complete."),
            core::localized("More results may be available as indexing progresses."), {}, core::localized("OK"))
            ->show();
    }
    m_currentResult = std::move(result);
}

void VKPDFViewController::searchControllerDidWrapSearch(VKPDFSearchController&, int direction)
{
    core::log("Search wrapped, direction {}", direction);
    indicateSearchRotation(direction == SearchForward ? Down : Up);
}

void VKPDFViewController::searchControllerDidCancelSearch(VKPDFSearchController&)
{
    core::log("Search cancelled");
    clearSearchHighlights();
}

void VKPDFViewController::rebuildIndexForSearchController(VKPDFSearchController& controller)
{
    core::log("Rebuilding the search index");
    if (auto store = controller.pageIndexStore())
        store->setPagesIndexed(0);
    controller.startIndexingIfNecessary();
}

void VKPDFViewController::searchControllerIndexBuildingDidProgress(VKPDFSearchController&, float progress)
{
    if (progress > 0)
        updateSearchStatusText(percentText("Indexing, {}% Complete", progress));
    else
        updateSearchStatusText(percentText("Indexing paused ({}%)", -progress));
    if (progress == 1.0f) {
        std::weak_ptr<VKPDFViewController> weak = sharedAs<VKPDFViewController>();
        core::RunLoop::main().performAfter(IndexCompleteStatusDelay, [weak] {
            auto viewer = weak.lock();
            if (viewer && viewer->navigationController())
                viewer->updateSearchStatusText(std::nullopt);
        });
    }
}

// ---- Leaving -------------------------------------------------------------------

void VKPDFViewController::viewWillDisappear(bool animated)
{
    VKDocumentViewController::viewWillDisappear(animated);
    if (m_searchField) {
        if (!m_searchField->text().empty())
            ui::Pasteboard::named(ui::Pasteboard::findName, true)->setString(m_searchField->text());
        m_searchField->resignFirstResponder();
    }
    if (m_searchController)
        m_searchController->stopIndexing();
}

void VKPDFViewController::didRotate(ui::Orientation fromOrientation)
{
    VKDocumentViewController::didRotate(fromOrientation);
    if (!m_searchBar || !m_searchBar->superview())
        return;
    ui::View* bar = m_searchBar->superview();
    bar->bringSubviewToFront(m_searchBar.get());
    m_searchBar->setFrame(bar->bounds());
    if (m_searchField) {
        gfx::Rect frame = m_searchField->frame();
        m_searchField->setFrame(gfx::Rect(frame.x(), frame.y(), m_searchBar->bounds().width(), frame.height()));
    }
}

void VKPDFViewController::releaseSearchObjects()
{
    if (m_searchController) {
        m_searchController->setDelegate({});
        m_searchController->stopIndexing();
    }
    if (m_searchField)
        m_searchField->setDelegate({});
    if (m_searchDimmingView) {
        m_searchDimmingView->setDelegate({});
        m_searchDimmingView->removeFromSuperview();
    }
    if (m_searchBar)
        m_searchBar->removeFromSuperview();
    m_searchController.reset();
    m_searchField.reset();
    m_searchBar.reset();
    m_currentResult.reset();
    m_searchDimmingView.reset();
    m_searchStatusItem.reset();
    m_searchStatusLabel.reset();
    m_upItem.reset();
    m_downItem.reset();
    if (toolbarModal())
        setToolbarModal(false);
}

void VKPDFViewController::removeTemporaryIndex()
{
    if (m_temporaryIndexPath.empty())
        return;
    std::error_code error;
    for (const char* suffix : { "", "-journal", "-wal", "-shm" })
        std::filesystem::remove(m_temporaryIndexPath + suffix, error);
    m_temporaryIndexPath.clear();
}
