#pragma once

// Draws pages with the renderer.

#include "Platform/Graphics/Context.h"
#include "Platform/PDF/Page.h"

namespace pdf {

// Draws the page in its PDF user space under the context's current
// transform, clipped to the crop box, without painting a background. Up to
// four draws of one document run side by side, each on a renderer document
// of its own opened when first needed, and more wait their turn; a document
// the renderer cannot open draws nothing (and says so once in the log).
void drawPage(const Page& page, gfx::Context& context);

} // namespace pdf
