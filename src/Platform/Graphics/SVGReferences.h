#pragma once

#include <cstdint>
#include <string_view>

namespace gfx::codecs {

// How many elements drawing an SVG document reaches through <use>
// references, counted without drawing it: each reference counts once, plus
// what the element it names refers to in turn, so that a few kilobytes of
// nested references (a "bomb" of ten levels of ten uses) are seen for the
// ten thousand million elements they make before any is drawn. The count
// stops at `limit` + 1; references that loop count `limit` + 1 too. What
// comes before a document's first XML error counts (librsvg judges the
// error). It never expands entities nor reads anything but the bytes.
uint64_t svgReferencedElements(std::string_view bytes, uint64_t limit);

} // namespace gfx::codecs
