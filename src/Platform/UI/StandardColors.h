#pragma once

// The toolkit's named colours, as the device defines them.

#include "Platform/Graphics/Color.h"

namespace ui {

class StandardColors {
public:
    static gfx::Color black() { return gfx::Color::white(0); }
    static gfx::Color darkGray() { return gfx::Color::white(1.0f / 3); }
    static gfx::Color lightGray() { return gfx::Color::white(2.0f / 3); }
    static gfx::Color white() { return gfx::Color::white(1); }
    static gfx::Color gray() { return gfx::Color::white(0.5f); }
    static gfx::Color red() { return { 1, 0, 0 }; }
    static gfx::Color green() { return { 0, 1, 0 }; }
    static gfx::Color blue() { return { 0, 0, 1 }; }
    static gfx::Color cyan() { return { 0, 1, 1 }; }
    static gfx::Color yellow() { return { 1, 1, 0 }; }
    static gfx::Color magenta() { return { 1, 0, 1 }; }
    static gfx::Color orange() { return { 1, 0.5f, 0 }; }
    static gfx::Color purple() { return { 0.5f, 0, 0.5f }; }
    static gfx::Color brown() { return { 0.6f, 0.4f, 0.2f }; }
    static gfx::Color clear() { return gfx::Color::white(0, 0); }
    // Text and backgrounds of the standard views.
    static gfx::Color lightText() { return gfx::Color::white(1, 0.6f); }
    static gfx::Color darkText() { return black(); }
    static gfx::Color groupTableViewBackground() { return gfx::Color::rgb255(197, 204, 212); }
    static gfx::Color viewFlipsideBackground() { return gfx::Color::rgb255(31, 33, 36); }
    // The blue of selected text and buttons' titles.
    static gfx::Color buttonTitle() { return gfx::Color::rgb255(50, 79, 133); }
    // The title of a button that destroys something (a sheet's Delete).
    static gfx::Color destructiveButtonTitle() { return gfx::Color::rgb255(206, 36, 36); }
};

} // namespace ui
