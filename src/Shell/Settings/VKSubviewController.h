#pragma once

// The base of every settings page: a table that keeps the interface's
// orientation, a summary its parent page shows on the right of the row
// that opens it, and how it is opened.

#include "Shell/Interface/VKNonRotatingTableViewController.h"

#include <string>

namespace ui {
class NavigationController;
}

class VKSubviewController : public VKNonRotatingTableViewController {
public:
    explicit VKSubviewController(ui::TableView::Style style = ui::TableView::Style::Grouped);

    // What the parent page's row shows; pages override it (the base says
    // so in its answer).
    virtual std::string statusText();
    // Pushes the page onto `navigation`.
    virtual void presentUsingNavigationController(ui::NavigationController& navigation, bool animated);
};
