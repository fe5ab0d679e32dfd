#pragma once

// Finding text in the PDF viewer. The first press makes the search
// objects, kept until the view unloads: the search controller on the
// document's content index (one under the temporary folder, removed with
// the viewer, when the document has no lasting index path), the field over
// the navigation bar, the arrows and the status label of the modal
// toolbar, and the dimming view over the page while the keyboard is up.
// Searching runs on the search controller's threads; hits, progress and
// wraps come back here on the main thread. The viewer makes it with itself
// and holds it for its whole life; the search controller, the field and the
// dimming view reach it weakly.

#include "Shell/Interface/VKKeyboardDimmingView.h"
#include "PDF/VKPDFSearchControllerDelegate.h"
#include "Platform/UI/TextField.h"

#include <memory>
#include <optional>
#include <string>

namespace ui {
class BarButtonItem;
class Label;
class NavigationBar;
} // namespace ui
class VKPDFSearchController;
class VKPDFViewController;
class VKSearchField;

class VKPDFSearchBar : public VKPDFSearchControllerDelegate,
                       public ui::TextFieldDelegate,
                       public VKKeyboardDimmingViewDelegate,
                       public std::enable_shared_from_this<VKPDFSearchBar> {
public:
    static constexpr double IndexCompleteStatusDelay = 2.0;
    static constexpr float StatusLabelWidth = 200;
    // What the arrows, their spaces and the toolbar's gaps take beside it.
    static constexpr float StatusLabelMargin = 180;
    static constexpr float StatusLabelHeight = 20;

    explicit VKPDFSearchBar(VKPDFViewController& viewer) : m_viewer(viewer) { }
    ~VKPDFSearchBar() override;

    void open();
    // Ctrl+F: the search, or its field where it shows.
    void find();
    // From the Cancel item (`fromCancelButton`, which also clears the text)
    // or a touch on the dimmed page.
    void cancel(bool fromCancelButton);
    void upButtonPressed();
    void downButtonPressed();
    // The text shown, or the visible page range for none.
    void updateStatusText(const std::optional<std::string>& text);
    // The field's text goes to the find pasteboard and indexing stops.
    void viewerWillDisappear();
    void viewerDidRotate();
    // Drops every search object (the temporary index stays until
    // `removeTemporaryIndex`); the viewer's toolbar is left as it is.
    void release();
    void removeTemporaryIndex();

    VKPDFSearchController* controller() const { return m_controller.get(); }
    VKSearchField* field() const { return m_field.get(); }
    ui::NavigationBar* bar() const { return m_bar.get(); }
    const std::optional<VKDocumentRange>& currentResult() const { return m_currentResult; }
    VKKeyboardDimmingView* dimmingView() const { return m_dimmingView.get(); }
    ui::Label* statusLabel() const { return m_statusLabel.get(); }
    ui::BarButtonItem* statusItem() const { return m_statusItem.get(); }
    ui::BarButtonItem* upItem() const { return m_upItem.get(); }
    ui::BarButtonItem* downItem() const { return m_downItem.get(); }
    bool shouldShowPartialIndexWarning() const { return m_shouldShowPartialIndexWarning; }
    const std::string& temporaryIndexPath() const { return m_temporaryIndexPath; }

    // VKPDFSearchControllerDelegate
    void searchControllerIndexBuildingDidProgress(VKPDFSearchController& controller, float progress) override;
    void searchControllerDidFindResult(VKPDFSearchController& controller, std::optional<VKDocumentRange> result,
        const std::string& searchString) override;
    void searchControllerDidWrapSearch(VKPDFSearchController& controller, int direction) override;
    void searchControllerDidCancelSearch(VKPDFSearchController& controller) override;
    void rebuildIndexForSearchController(VKPDFSearchController& controller) override;

    // The field's delegate.
    bool shouldReturn(ui::TextField& field) override;
    bool shouldChangeCharacters(ui::TextField& field, core::Range range, std::string_view replacement) override;
    void keyboardDimmingViewDidReceiveTouches(VKKeyboardDimmingView& view) override;

private:
    void searchForFieldText(int direction);
    void arrowPressed(int direction);
    void setArrowsEnabled(bool enabled);
    void clearHighlights();

    VKPDFViewController& m_viewer;
    std::shared_ptr<VKPDFSearchController> m_controller;
    std::shared_ptr<VKSearchField> m_field;
    std::shared_ptr<ui::NavigationBar> m_bar;
    std::optional<VKDocumentRange> m_currentResult;
    std::shared_ptr<VKKeyboardDimmingView> m_dimmingView;
    std::shared_ptr<ui::Label> m_statusLabel;
    std::shared_ptr<ui::BarButtonItem> m_statusItem;
    std::shared_ptr<ui::BarButtonItem> m_upItem;
    std::shared_ptr<ui::BarButtonItem> m_downItem;
    std::string m_temporaryIndexPath;
    bool m_shouldShowPartialIndexWarning = false;
    // A search found nothing before the index was complete.
    bool m_searchWhenIndexed = false;
};
