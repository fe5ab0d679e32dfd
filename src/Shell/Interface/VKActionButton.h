#pragma once

// The titled, badged button of a toolbar: an icon (its background image)
// above a short title, as high as the toolbar of the status bar's
// orientation (VKToolbarDefaultHeight in portrait and on a tablet,
// VKToolbarSmallHeight on a phone turned sideways, where the title is
// smaller). Disabled it shows at half
// opacity; pressed, a dark veil lies behind it unless it shows touches
// itself.

#include "Shell/Interface/VKBadgedButton.h"

class VKActionButton : public VKBadgedButton {
public:
    static constexpr float TitleFontSize = 11;
    static constexpr float SmallTitleFontSize = 10;

    // A button of class T (VKActionButton or a class derived from it) with
    // the look above.
    template<typename T = VKActionButton> static std::shared_ptr<T> actionButton()
    {
        auto button = View::make<T>({});
        button->setUpActionButton();
        return button;
    }

    using ui::Button::setImage;
    using ui::Button::setTitle;
    // The title shown now; setting gives the normal state's.
    std::string title() const { return currentTitle(); }
    void setTitle(std::string title);
    // The background image shown now; setting gives the normal state's and
    // sizes the button to fit.
    std::shared_ptr<gfx::Image> image() const { return currentBackgroundImage().image; }
    void setImage(std::shared_ptr<gfx::Image> image);

    void setHighlighted(bool highlighted) override;
    void setEnabled(bool enabled) override;
    void didMoveToSuperview() override;
    void layoutSubviews() override;
    // At least as wide as offered, the title and the image.
    gfx::Size sizeThatFits(gfx::Size size) const override;
    // The image at its own size (scaled down to fit when taller), centred
    // in the room between the top and the title.
    gfx::Rect backgroundRectForBounds(const gfx::Rect& bounds) const override;

protected:
    void setUpActionButton();
};
