#pragma once

namespace rtf {

// One entry of a document's colour table.
struct Color {
    unsigned char r = 0;
    unsigned char g = 0;
    unsigned char b = 0;
};

} // namespace rtf
