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

} // namespace pdf::detail
