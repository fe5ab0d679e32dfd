// tool: tandry_rtf
// The converter as a small program, for side-by-side runs with other
// programs (compare_unrtf.sh): rtf_convert INPUT.rtf OUTPUT.html.

#include "RTF/RTFtoHTML.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: rtf_convert INPUT.rtf OUTPUT.html\n");
        return 2;
    }
    core::Error error;
    std::optional<std::string> html = convertRTFAtPathToHTML(argv[1], &error);
    if (!html) {
        std::fprintf(stderr, "rtf_convert: %s: %s %lld\n", argv[1], error.domain().c_str(), static_cast<long long>(error.code()));
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(html->data(), static_cast<std::streamsize>(html->size()));
    return out.good() ? 0 : 1;
}
