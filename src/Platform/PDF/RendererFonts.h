#pragma once

// Inside the PDF layer only: whether the renderer's documents may draw side
// by side.
//
// The renderer's documents share one FreeType library over the process.
// FreeType allows one library on several threads as long as faces are made
// and dropped one at a time (each face is used by one thread at a time,
// which the renderer and cairo see to): this layer defines the library's
// face-making and face-dropping entry points itself, each passing to
// FreeType's own under one lock, and the program exports them so that the
// renderer's calls reach them.

namespace pdf::detail {

// True when the renderer's calls reach the locked entry points (the
// program exported them): its documents may then draw at once. False
// leaves drawing to one renderer document at a time over the process.
bool rendererFacesGuarded();

// Lets go what cairo keeps, over the process, of the fonts of renderer
// documents that have gone: it keeps the last 256 scaled fonts no one holds
// for reuse, and each holds its face, the renderer's FreeType face and font
// program, and the glyphs it drew (a long document whose pages each embed
// fonts of their own held some 20 MiB so). Called under
// `rendererFontsMutex()` once renderer documents are let go (their FreeType
// faces go then); fonts in use are not touched.
void releaseHeldFonts();

} // namespace pdf::detail
