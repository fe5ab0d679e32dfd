#pragma once

// The table screen that keeps the interface's orientation, as
// VKNonRotatingViewController does for plain screens.

#include "Platform/UI/TableViewController.h"

class VKNonRotatingTableViewController : public ui::TableViewController {
public:
    using ui::TableViewController::TableViewController;
    bool shouldAutorotate(ui::Orientation orientation) override;
};
