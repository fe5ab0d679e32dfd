#pragma once

// The type-ahead list's root view when it covers the page: it dims what
// lies below, and a touch on it (outside the list) ends the editing.

#include "Platform/UI/View.h"

#include <memory>

class VKWebHistorySearchController;

class VKWebHistorySearchPlaceholderView : public ui::View {
public:
    static std::shared_ptr<VKWebHistorySearchPlaceholderView> create();

    VKWebHistorySearchController* controller() const { return m_controller; }
    void setController(VKWebHistorySearchController* controller) { m_controller = controller; }

    void touchesBegan(const ui::TouchSet& touches, const ui::Event& event) override;

private:
    // The controller owns this view and clears the link when it goes.
    VKWebHistorySearchController* m_controller = nullptr;
};
