#include "Viewers/PDF/VKPDFSearchBar.h"

#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKPDFViewController.h"
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
#include <utility>
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

VKPDFSearchBar::~VKPDFSearchBar()
{
    release();
    removeTemporaryIndex();
}

void VKPDFSearchBar::find()
{
    if (m_bar && m_bar->window() && m_field)
        m_field->becomeFirstResponder();
    else
        open();
}

void VKPDFSearchBar::open()
{
    auto* navigation = m_viewer.navigationController();
    if (!navigation || !m_viewer.document() || !m_viewer.resource() || !m_viewer.view())
        return;
    auto self = shared_from_this();
    std::weak_ptr<VKPDFSearchBar> weak = self;
    gfx::Rect barBounds = navigation->navigationBar().bounds();

    if (!m_controller) {
        std::optional<std::string> indexPath
            = VKContentIndexManager::sharedManager()->contentIndexPathForResource(*m_viewer.resource());
        if (!indexPath) {
            // No identity to keep an index under: one for this viewer only.
            if (m_temporaryIndexPath.empty())
                m_temporaryIndexPath = core::paths::temporaryDirectory() + "VKPDFSearch-" + core::uuidString() + ".index";
            indexPath = m_temporaryIndexPath;
        }
        m_controller = VKPDFSearchController::initWithDocument(m_viewer.document(), *indexPath);
        m_controller->setDelegate(std::static_pointer_cast<VKPDFSearchControllerDelegate>(self));
        // Page views draw their highlights from the same store.
        m_viewer.adoptPageIndexStore(m_controller->pageIndexStore());
    }
    if (!m_field) {
        m_field = VKSearchField::create(barBounds);
        m_field->setDelegate(std::static_pointer_cast<ui::TextFieldDelegate>(self));
        m_field->setReturnKeyType(ui::TextInput::ReturnKeyType::Search);
        m_field->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
        m_field->setKeyboardAppearance(ui::TextInput::KeyboardAppearance::Alert);
        m_field->setAutoresizingMask(ui::View::FlexibleWidth);
    }
    if (auto find = ui::Pasteboard::named(ui::Pasteboard::findName, false))
        m_field->setText(find->string().value_or(std::string()));
    else
        m_field->setText("");

    // The items name the viewer as their target, as its own items do.
    auto target = m_viewer.shared_from_this();
    auto cancel = barButtonSystemItem(ui::BarButtonItem::SystemItem::Cancel, target, "searchBarDidCancel",
        [weak](ui::BarButtonItem&) {
            if (auto search = weak.lock())
                search->cancel(true);
        });
    if (!m_bar) {
        auto item = ui::NavigationItem::create();
        item->setTitleView(m_field);
        item->setRightBarButtonItem(cancel);
        m_bar = ui::NavigationBar::create();
        m_bar->setBarStyle(ui::NavigationBar::Style::Black);
        m_bar->setTranslucent(true);
        m_bar->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        m_bar->pushItem(item, false);
    } else if (auto* item = m_bar->topItem()) {
        item->setRightBarButtonItem(cancel);
    }
    m_bar->setFrame(barBounds);

    if (!m_upItem) {
        m_upItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowUp.png"), ui::BarButtonItem::Style::Plain,
            target, "searchToolbarUpButtonPressed", [weak](ui::BarButtonItem&) {
                if (auto search = weak.lock())
                    search->upButtonPressed();
            });
        m_downItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowDown.png"),
            ui::BarButtonItem::Style::Plain, target, "searchToolbarDownButtonPressed", [weak](ui::BarButtonItem&) {
                if (auto search = weak.lock())
                    search->downButtonPressed();
            });
    }
    setArrowsEnabled(!m_field->text().empty());

    if (!m_statusItem) {
        // On a phone the arrows, their spaces and the bar's own gaps leave
        // less than the full width beside them; the text shrinks to fit.
        const gfx::Rect screen = ui::Screen::main() ? ui::Screen::main()->bounds() : gfx::Rect { 0, 0, 320, 480 };
        const float width = std::min(StatusLabelWidth, std::min(screen.width(), screen.height()) - StatusLabelMargin);
        m_statusLabel = ui::Label::create(gfx::Rect(0, 0, width, StatusLabelHeight));
        m_statusLabel->setFont(ui::Fonts::systemFont(14));
        m_statusLabel->setAdjustsFontSizeToFitWidth(true);
        m_statusLabel->setMinimumFontSize(10);
        m_statusLabel->setTextAlignment(gfx::TextAlignment::Center);
        m_statusLabel->setBackgroundColor(gfx::Color::white(0, 0));
        m_statusLabel->setTextColor(gfx::Color::white(1));
        m_statusLabel->setShadowColor(gfx::Color::white(0));
        m_statusLabel->setShadowOffset(gfx::Size(0, 1));
        m_statusItem = barButtonItemWithCustomView(m_statusLabel);
        updateStatusText(std::nullopt);
    }

    if (!m_dimmingView) {
        m_dimmingView = VKKeyboardDimmingView::create({ std::weak_ptr<ui::Responder>(m_field) });
        m_dimmingView->setDelegate(std::static_pointer_cast<VKKeyboardDimmingViewDelegate>(self));
    }
    m_dimmingView->setFrame(m_viewer.view()->bounds());
    m_dimmingView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_dimmingView->setHidden(false);
    m_viewer.view()->addSubview(m_dimmingView);

    m_viewer.setToolbarModal(true);
    m_viewer.setToolbarItems({ fixedSpaceBarButtonItemWithWidth(16), m_upItem, flexibleSpaceBarButtonItem(), m_statusItem,
        flexibleSpaceBarButtonItem(), m_downItem, fixedSpaceBarButtonItemWithWidth(16) });

    // The navigation bar remakes its item views on the change, over what
    // it holds; the search bar goes on top after that.
    m_viewer.navigationItem().setHidesBackButton(true);
    navigation->navigationBar().layoutIfNeeded();
    navigation->navigationBar().addSubview(m_bar);
    // The bar places the field only when laid out.
    m_bar->layoutIfNeeded();
    m_field->becomeFirstResponder();

    // Set at each opening while the index is incomplete: a search that
    // finds nothing then says once that more may come.
    if (!m_controller->fullyIndexed())
        m_shouldShowPartialIndexWarning = true;
    m_controller->searchForString("", std::nullopt, SearchForward);
    if (!m_currentResult)
        m_currentResult = VKDocumentRange(std::max(1u, m_viewer.currentPageNumber()), core::Range { 0, 0 });
    m_viewer.setUIHidden(false, true);
}

void VKPDFSearchBar::setArrowsEnabled(bool enabled)
{
    if (m_upItem)
        m_upItem->setEnabled(enabled);
    if (m_downItem)
        m_downItem->setEnabled(enabled);
}

void VKPDFSearchBar::cancel(bool fromCancelButton)
{
    if (!m_field)
        return;
    auto keep = shared_from_this();
    std::string text = m_field->text();
    if (!text.empty())
        ui::Pasteboard::named(ui::Pasteboard::findName, true)->setString(text);
    if (fromCancelButton)
        m_field->setText("");
    m_field->resignFirstResponder();
    updateStatusText(std::nullopt);
    m_searchWhenIndexed = false;
    if (m_controller)
        m_controller->cancelSearch();
    if (m_dimmingView)
        m_dimmingView->removeFromSuperview();
    m_currentResult.reset();

    m_viewer.setToolbarModal(false);
    m_viewer.setToolbarItems(m_viewer.createToolbarItems());
    if (m_bar)
        m_bar->removeFromSuperview();
    m_viewer.navigationItem().setHidesBackButton(false);
    m_viewer.setUIHidden(false, true);
}

void VKPDFSearchBar::keyboardDimmingViewDidReceiveTouches(VKKeyboardDimmingView&)
{
    cancel(false);
}

void VKPDFSearchBar::searchForFieldText(int direction)
{
    if (!m_controller || !m_field)
        return;
    m_controller->searchForString(m_field->text(), m_currentResult, direction);
}

bool VKPDFSearchBar::shouldReturn(ui::TextField& field)
{
    if (!field.text().empty())
        searchForFieldText(SearchForward);
    field.resignFirstResponder();
    return true;
}

bool VKPDFSearchBar::shouldChangeCharacters(ui::TextField& field, core::Range, std::string_view replacement)
{
    if (&field == m_field.get())
        setArrowsEnabled(!field.text().empty() || !replacement.empty());
    return true;
}

void VKPDFSearchBar::downButtonPressed()
{
    arrowPressed(SearchForward);
}

void VKPDFSearchBar::upButtonPressed()
{
    arrowPressed(SearchBackward);
}

void VKPDFSearchBar::arrowPressed(int direction)
{
    if (m_dimmingView)
        m_dimmingView->setHidden(true);
    searchForFieldText(direction);
    if (m_field)
        m_field->resignFirstResponder();
}

void VKPDFSearchBar::updateStatusText(const std::optional<std::string>& text)
{
    if (!m_statusLabel)
        return;
    if (text) {
        m_statusLabel->setText(*text);
        return;
    }
    unsigned count = m_viewer.pageCount();
    VKDocumentView* documentView = m_viewer.documentView();
    core::Range range = documentView ? documentView->currentIndexRange() : core::Range { core::kNotFound, 0 };
    if (count < 2 || range.location == core::kNotFound || range.length == 0) {
        m_statusLabel->setText("");
        return;
    }
    if (range.length == 1)
        m_statusLabel->setText(fmt::format(fmt::runtime(core::localized("Page {} of {}")), range.location + 1, count));
    else
        m_statusLabel->setText(fmt::format(fmt::runtime(core::localized("Pages {}-{} of {}")), range.location + 1,
            range.location + range.length, count));
}

void VKPDFSearchBar::clearHighlights()
{
    if (!m_viewer.documentView())
        return;
    for (auto& view : m_viewer.documentView()->cachedPageViews())
        if (auto* pageView = dynamic_cast<VKPDFPageView*>(view.get()))
            pageView->setHighlightedTextRange({ core::kNotFound, 0 });
}

// ---- The search controller's answers -------------------------------------------

void VKPDFSearchBar::searchControllerDidFindResult(VKPDFSearchController& controller,
    std::optional<VKDocumentRange> result, const std::string& searchString)
{
    // The query without a string that opening the bar sends finds nothing;
    // it must not turn the arrows on over an empty field nor drop the
    // visible page as the next search's start.
    if (!result && searchString.empty())
        return;
    setArrowsEnabled(true);
    // An index kept under the same identity from an older version of the
    // file can name pages this document does not have.
    if (result && (result->page() == 0 || result->page() > m_viewer.pageCount())) {
        core::log("Warning, search hit outside the document: {}", result->description());
        result.reset();
        rebuildIndexForSearchController(controller);
    }
    VKDocumentView* documentView = m_viewer.documentView();
    if (result && documentView) {
        clearHighlights();
        size_t index = result->page() - 1;
        auto view = documentView->viewForPageAtIndex(index);
        if (auto* pageView = dynamic_cast<VKPDFPageView*>(view.get())) {
            pageView->setHighlightedTextRange(result->range());
            documentView->scrollToPageAtIndex(index, pageView->anchorRectForTextRange(result->range()), true);
        } else {
            documentView->scrollToPageAtIndex(index, gfx::Rect(), true);
        }
    } else if (!result && controller.fullyIndexed() && !searchString.empty()) {
        m_searchWhenIndexed = false;
        if (controller.lastSearchFoundNoText())
            updateStatusText(core::localized("This document has no text to search."));
        else
            updateStatusText(fmt::format(fmt::runtime(core::localized("\"{}\" not found.")), searchString));
        setArrowsEnabled(false);
    } else if (!result && !searchString.empty()) {
        // Pages not indexed yet are not searched: the search runs again
        // once they are, and says then what it found.
        m_searchWhenIndexed = true;
        updateStatusText(core::localized("Indexing not yet complete."));
    }
    if (!result && !controller.fullyIndexed() && !searchString.empty() && m_shouldShowPartialIndexWarning) {
        m_shouldShowPartialIndexWarning = false;
        ui::AlertView::create(core::localized("Indexing not yet complete."),
            core::localized("More results may be available as indexing progresses."), {}, core::localized("OK"))
            ->show();
    }
    m_currentResult = std::move(result);
}

void VKPDFSearchBar::searchControllerDidWrapSearch(VKPDFSearchController&, int direction)
{
    m_viewer.indicateSearchRotation(direction == SearchForward ? VKPDFViewController::Down : VKPDFViewController::Up);
}

void VKPDFSearchBar::searchControllerDidCancelSearch(VKPDFSearchController&)
{
    clearHighlights();
}

void VKPDFSearchBar::rebuildIndexForSearchController(VKPDFSearchController& controller)
{
    if (auto store = controller.pageIndexStore())
        store->setPagesIndexed(0);
    controller.startIndexingIfNecessary();
}

void VKPDFSearchBar::searchControllerIndexBuildingDidProgress(VKPDFSearchController&, float progress)
{
    if (progress > 0)
        updateStatusText(percentText("Indexing, {}% Complete", progress));
    else
        updateStatusText(percentText("Indexing paused ({}%)", -progress));
    if (progress == 1.0f) {
        // The viewer holds the search for its whole life: a search still
        // here is one whose viewer is too.
        std::weak_ptr<VKPDFSearchBar> weak = shared_from_this();
        std::string complete = m_statusLabel ? m_statusLabel->text() : std::string();
        core::RunLoop::main().performAfter(IndexCompleteStatusDelay, [weak, complete] {
            auto search = weak.lock();
            // What a search said meanwhile stays.
            if (search && search->m_viewer.navigationController() && search->m_statusLabel
                && search->m_statusLabel->text() == complete)
                search->updateStatusText(std::nullopt);
        });
        if (std::exchange(m_searchWhenIndexed, false) && m_field && !m_field->text().empty())
            searchForFieldText(SearchForward);
    }
}

// ---- Leaving -------------------------------------------------------------------

void VKPDFSearchBar::viewerWillDisappear()
{
    if (m_field) {
        if (!m_field->text().empty())
            ui::Pasteboard::named(ui::Pasteboard::findName, true)->setString(m_field->text());
        m_field->resignFirstResponder();
    }
    if (m_controller)
        m_controller->stopIndexing();
}

void VKPDFSearchBar::viewerDidRotate()
{
    if (!m_bar || !m_bar->superview())
        return;
    ui::View* bar = m_bar->superview();
    bar->bringSubviewToFront(m_bar.get());
    m_bar->setFrame(bar->bounds());
    if (m_field) {
        gfx::Rect frame = m_field->frame();
        m_field->setFrame(gfx::Rect(frame.x(), frame.y(), m_bar->bounds().width(), frame.height()));
    }
}

void VKPDFSearchBar::release()
{
    if (m_controller) {
        m_controller->setDelegate({});
        m_controller->stopIndexing();
    }
    if (m_field)
        m_field->setDelegate({});
    if (m_dimmingView) {
        m_dimmingView->setDelegate({});
        m_dimmingView->removeFromSuperview();
    }
    if (m_bar)
        m_bar->removeFromSuperview();
    m_controller.reset();
    m_field.reset();
    m_bar.reset();
    m_currentResult.reset();
    m_dimmingView.reset();
    m_statusItem.reset();
    m_statusLabel.reset();
    m_upItem.reset();
    m_downItem.reset();
}

void VKPDFSearchBar::removeTemporaryIndex()
{
    if (m_temporaryIndexPath.empty())
        return;
    std::error_code error;
    for (const char* suffix : { "", "-journal", "-wal", "-shm" })
        std::filesystem::remove(m_temporaryIndexPath + suffix, error);
    m_temporaryIndexPath.clear();
}
