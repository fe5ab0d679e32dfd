#pragma once

// A document's reading place in the per-file settings: the normalised
// offset (offset = y, inset = x) and the zoom. Storing needs the file on
// disk and logs each value the store refuses while the others still go in;
// restoring sets a stored zoom before scrolling to the offset.

class VKDocumentViewController;

class VKReadingPlace {
public:
    static void restore(VKDocumentViewController& viewer);
    static void store(VKDocumentViewController& viewer);
};
