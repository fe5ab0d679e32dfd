#pragma once

// The colours of the system's own look (all opaque), and colours read from
// "#RRGGBB" texts.

#include "Platform/Graphics/Color.h"

#include <optional>
#include <string_view>

gfx::Color whiteTextShadowColor();
gfx::Color iPadGroupTableViewBackgroundColor();
gfx::Color iPadBarButtonItemDarkTextColor();
gfx::Color iPadBarButtonItemDarkTextShadowColor();
gfx::Color iPadBarButtonItemTintColor();
gfx::Color iPadPopoverBorderColor();
gfx::Color documentBorderColor();
// Values in settings rows and checked rows.
gfx::Color tableViewCellTextValueColor();
// Marked rows' background.
gfx::Color tableViewCellMarkedBackgroundColor();

// "#" and six hexadecimal digits, red first, with the alpha given. Any
// other length or a missing "#" answers none; digits that are not
// hexadecimal answer none and log "UIColor, invalid hex string: …".
std::optional<gfx::Color> colorWithHexString(std::string_view text, float alpha);
