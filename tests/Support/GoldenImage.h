#pragma once

// Compares a rendered picture with a small golden PNG under
// tests/fixtures/ui/: a pixel matches within 8 levels per channel (after
// unpremultiplying) and 99.5 % must match. TANDRY_UPDATE_GOLDEN=1 rewrites
// the golden; a failure writes the actual picture and a diff under
// build/golden/.

#include "Platform/Graphics/BitmapContext.h"

#include <gtest/gtest.h>
#include <string>

namespace test {

::testing::AssertionResult matchesGolden(const gfx::BitmapContext& actual, const std::string& sourceDirectory,
    const std::string& name);

// The straight (unpremultiplied) colour of a pixel.
gfx::Pixel straightPixel(const gfx::BitmapContext& bitmap, int column, int row);

} // namespace test
