#pragma once

// The go-to-page bar of a document viewer: a number field laid over the
// navigation bar's own views (the bar keeps its items beneath views laid
// over it when it makes them again), whose Cancel button reads "Go", and a
// dimming view over the content whose touch removes the bar without a
// jump. "Go" and Return go to the page typed; while the bar shows, the
// back button hides, the viewer's single tap is off and the viewer keeps
// its orientation. The document frame makes it and holds it for the rest of
// its life; the search bar reaches it weakly.

#include "Platform/UI/SearchBar.h"

#include <memory>
#include <string_view>

class VKDocumentViewController;
class VKGoToPagePlaceholderView;

// The page number typed into the go-to-page bar: its leading ASCII digits,
// saturating at 2,147,483,647; 0 when there are none.
unsigned VKPageNumberFromText(std::string_view text);

class VKGoToPageBar : public ui::SearchBarDelegate, public std::enable_shared_from_this<VKGoToPageBar> {
public:
    explicit VKGoToPageBar(VKDocumentViewController& viewer) : m_viewer(viewer) { }
    ~VKGoToPageBar() override;

    ui::SearchBar* bar() const { return m_bar.get(); }
    void show();
    void remove();
    // Removes the bar on the next pass of the main loop.
    void removeSoon();
    bool isActive() const;

    // "Go" and Return both end here.
    void cancelButtonClicked(ui::SearchBar& bar) override;
    void searchButtonClicked(ui::SearchBar& bar) override;
    void textDidBeginEditing(ui::SearchBar& bar) override;
    void textDidEndEditing(ui::SearchBar& bar) override;

private:
    void done(ui::SearchBar& bar);

    VKDocumentViewController& m_viewer;
    std::shared_ptr<ui::SearchBar> m_bar;
    std::shared_ptr<VKGoToPagePlaceholderView> m_placeholder;
};
