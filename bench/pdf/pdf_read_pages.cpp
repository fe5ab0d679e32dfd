// tool: tandry_pdf
// The child that bench/pdf/long_read_memory measures: reads every page of a
// PDF through one open document, as the viewer and extraction do, and
// prints the resident memory the process allocated (RssAnon, in KiB) after
// the first page, the tenth and every 200th, as "page <n> <KiB> KiB", and
// last the most it held after any page, as "peak <KiB> KiB at page <n>":
//   pdf_read_pages text|draw file.pdf
// "text" extracts each page's text, "draw" draws each at a quarter of its
// size with the renderer and reads its text as the viewer's page view does.
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFPageTextScanner.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/PDF/PageDrawing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

long residentAnonymousKiB()
{
    long kib = 0;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, "RssAnon:", 8) == 0)
                kib = std::atol(line + 8);
        }
        std::fclose(status);
    }
    return kib;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    bool draw = std::strcmp(argv[1], "draw") == 0;
    auto document = VKPDFDocument::initWithPath(argv[2]);
    if (!document || document->numPages() == 0)
        return 1;
    const auto& ref = document->documentRef();
    int pages = int(document->numPages());
    long peak = 0;
    int peakPage = 0;
    for (int n = 1; n <= pages; ++n) {
        pdf::Page page = ref->page(n);
        if (draw) {
            auto bitmap = gfx::BitmapContext::create(153, 198);
            bitmap->scaleCTM(0.25, 0.25);
            pdf::drawPage(page, *bitmap);
        }
        VKPDFPageTextScanner::create(page)->text();
        long kib = residentAnonymousKiB();
        if (kib > peak) {
            peak = kib;
            peakPage = n;
        }
        if (n == 1 || n == 10 || n % 200 == 0 || n == pages)
            std::printf("page %d %ld KiB\n", n, kib);
    }
    std::printf("peak %ld KiB at page %d\n", peak, peakPage);
    return 0;
}
