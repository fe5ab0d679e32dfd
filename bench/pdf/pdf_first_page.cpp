// tool: tandry_pdf
// The child that bench/pdf/open_large measures: opens a PDF the way the
// viewer does, extracts page 1's text and prints "first <seconds> <peak RSS
// in KiB> <UTF-16 units>"; with --all it then extracts every other page too,
// as indexing reads them, and prints "all <seconds> <peak RSS in KiB> <pages>"
// and "own <KiB> <peak KiB> <file-backed KiB>": the peak less the pages of
// the program, its libraries and the mapped document (../support/OwnMemory.h).
// The peak is this program's own; unlike getrusage's, it owes nothing to the
// process that started this one.
//   pdf_first_page [--all] file.pdf
#include "../support/OwnMemory.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFDocumentTextReader.h"
#include "PDF/VKPDFPageTextScanner.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    bool all = argc > 2 && std::strcmp(argv[1], "--all") == 0;
    const char* path = argv[argc - 1];
    if (argc < 2)
        return 2;
    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    auto document = VKPDFDocument::initWithPath(path);
    if (!document || document->numPages() == 0)
        return 1;
    size_t units = VKPDFPageTextScanner::create(document->documentRef()->page(1))->text().size();
    std::printf("first %.4f %ld %zu\n", elapsed(), bench::ownMemory().peakKiB, units);
    std::fflush(stdout);
    if (all) {
        VKPDFDocumentTextReader reader(document->documentRef());
        uint32_t pages = 1;
        for (; pages < document->numPages(); ++pages)
            reader.scannerForPage(int(pages) + 1);
        std::printf("all %.4f %ld %u\n", elapsed(), bench::ownMemory().peakKiB, pages);
        bench::OwnMemory memory = bench::ownMemory();
        std::printf("own %ld %ld %ld\n", memory.ownKiB(), memory.peakKiB, memory.fileKiB);
    }
    return 0;
}
