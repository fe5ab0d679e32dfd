#pragma once

// The browser's navigation bar: lower in landscape (32 points, 50 with a
// prompt, against 44 and 64 in portrait, on the tablet too), its title in
// the bold system font of 20 points (16 in landscape), and with a prompt it
// places the prompt, the side buttons and the title itself so that all fit
// under the prompt. Heights follow the status bar's orientation, never the
// device's.

#include "Platform/UI/NavigationBar.h"

#include <memory>

class VKNavigationBar : public ui::NavigationBar {
public:
    static std::shared_ptr<VKNavigationBar> create(const gfx::Rect& frame = {});

    // The width of the main screen in the status bar's orientation and the
    // height of the table above.
    gfx::Size sizeThatFits(gfx::Size size) const override;
    void layoutSubviews() override;

private:
    void layoutForPrompt(bool landscape);
};
