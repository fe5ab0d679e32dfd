#pragma once

#include <string>

namespace ui {
class View;
}
class VKPlaceholderView;

// How the picture viewer's placeholder shows a cloud picture's download:
// on black, its name and progress bar in white over the transparent
// placeholder picture, sliding in with the picture from the side it comes
// from.
class VKImageDownloadOverlay {
public:
    // When the viewer's view loads.
    static void prepare(VKPlaceholderView& placeholder);
    static void show(VKPlaceholderView& placeholder);
    static void hide(VKPlaceholderView& placeholder);
    // Names the picture and brings the name and bar in front of `content`
    // when the placeholder holds it.
    static void placeOver(VKPlaceholderView& placeholder, const ui::View& content, const std::string& name);
    // From the right when moving forward, over `duration` seconds.
    static void slideIn(VKPlaceholderView& placeholder, bool fromRight, double duration);
};
