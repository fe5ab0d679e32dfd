#pragma once

// A tab of a custom tab bar: artwork chosen by a base name, smaller artwork
// while the status bar lies along a long side, a gray title that turns
// white when the tab is selected, and a soft light behind the selected tab.
// It can carry a badge like any badged button.
//
// Artwork: "<base>.png" and "<base>Selected.png", in landscape
// "<base>Small.png" and "<base>SmallSelected.png", a missing small picture
// falling back to the large one. The selected picture also serves the
// highlighted state.

#include "Shell/Interface/VKBadgedButton.h"
#include "Platform/Core/Observation.h"

#include <set>
#include <string>

class VKTabBarButton : public VKBadgedButton {
public:
    static constexpr float TitleFontSize = 10;

    // A tab on the artwork of `basename`, following the interface's turns.
    static std::shared_ptr<VKTabBarButton> tabBarButtonWithBackgroundImageBasename(std::string basename);
    // Style 1 is the "More" tab; any other style gives none.
    static std::shared_ptr<VKTabBarButton> tabBarButtonWithStyle(int style);

    const std::string& backgroundImageBasename() const { return m_backgroundImageBasename; }
    int tabBarStyle() const { return m_tabBarStyle; }

    // Picks the artwork and title insets of the status bar's orientation,
    // then sizes the tab to fit.
    void interfaceOrientationDidChange();

    // The artwork at its own size, centred across and in the room above
    // the title.
    gfx::Rect backgroundRectForBounds(const gfx::Rect& bounds) const override;
    // As wide as the artwork or the title with 4 points each side, as high
    // as the artwork or the bar it sits in.
    gfx::Size sizeThatFits(gfx::Size size) const override;
    void didMoveToSuperview() override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;

private:
    void observeOrientation();
    std::shared_ptr<gfx::Image> artwork(const std::string& name, const std::string& fallback);

    std::string m_backgroundImageBasename;
    int m_tabBarStyle = 0;
    core::Observation m_deviceTurned;
    core::Observation m_interfaceTurned;
    std::set<std::string> m_reportedMissing;
};
