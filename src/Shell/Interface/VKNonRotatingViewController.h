#pragma once

// A screen that keeps the orientation the interface has when it shows
// (passcode, help, settings, pickers): it accepts only the status bar's
// current orientation, so it opens the way the screen behind it stood and
// never turns while shown.

#include "Platform/UI/ViewController.h"

class VKNonRotatingViewController : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation orientation) override;
};

// Whether `orientation` is the one the interface stands in now (portrait
// without an application).
bool VKIsCurrentInterfaceOrientation(ui::Orientation orientation);
