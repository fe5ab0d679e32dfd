// tool: tandry_test_support_pdf
// Writes the PDF benchmark documents (500 and 1,000 pages) into a folder:
//   make_bench_pdfs [folder]     (default: bench-pdfs)
#include "BenchDocuments.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    std::string folder = argc > 1 ? argv[1] : "bench-pdfs";
    for (int pages : { 500, 1000 })
        std::printf("%s\n", bench::benchDocumentPath(folder, pages).c_str());
    return 0;
}
