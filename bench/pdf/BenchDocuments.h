#pragma once

// The benchmark documents of the PDF work, the same on every run (seeded):
// pages of Zipf-distributed words, alternating lines in a standard font
// (WinAnsi, no Widths) and an Identity-H font with a ToUnicode map, vector
// art and a small image on every page, an outline entry every ten pages and
// a link from each page to the next. The two most common words never follow
// one another: their phrase is the search's worst case, on every page and
// found on none.

#include "Support/PdfBuilder.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <fmt/format.h>
#include <random>
#include <string>
#include <vector>

namespace bench {

inline std::vector<std::string> benchVocabulary()
{
    static const char* syllables[] = { "ka", "lo", "mi", "ne", "ru", "sa", "te", "vo", "zi", "pa", "do", "fe", "gu", "ha", "ji",
        "qu", "wy", "xo", "be", "ci" };
    std::mt19937 random(23);
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string word;
        int length = 1 + int(random() % 4);
        for (int s = 0; s < length; ++s)
            word += syllables[random() % 20];
        words.push_back(word);
    }
    return words;
}

inline std::string benchDocument(int pages)
{
    test::PdfBuilder builder;
    // Codes 1..95 of the Identity-H font stand for ASCII 32..126.
    std::vector<std::pair<int, std::string>> toUnicode;
    for (int c = 32; c < 127; ++c)
        toUnicode.emplace_back(c - 31, fmt::format("{:04X}", c));
    int standard = builder.addStandardFont("Helvetica");
    int identity = builder.addIdentityFont("BenchSans", toUnicode, 550);
    std::string pixels;
    for (int i = 0; i < 8 * 8; ++i)
        pixels += { char(i * 4), char(255 - i * 4), char(128) };
    int image = builder.addStream("/Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceRGB /BitsPerComponent 8", pixels);
    std::string resources = fmt::format("/Resources << /Font << /F1 {} 0 R /F2 {} 0 R >> /XObject << /Im1 {} 0 R >> >>", standard, identity, image);

    std::vector<std::string> words = benchVocabulary();
    // Zipf weights over the vocabulary (exponent 1).
    std::vector<double> weights;
    for (size_t rank = 1; rank <= words.size(); ++rank)
        weights.push_back(1.0 / double(rank));
    std::discrete_distribution<size_t> zipf(weights.begin(), weights.end());
    std::mt19937 random(2026);

    std::vector<int> numbers;
    for (int page = 1; page <= pages; ++page) {
        std::string content = fmt::format("q 0.95 0.95 0.9 rg 40 40 532 712 re f Q "
                                          "q 0.2 0.3 0.8 RG 2 w 50 {} m 300 {} 150 760 562 {} c S Q "
                                          "q 60 0 0 60 500 40 cm /Im1 Do Q BT 14 TL 1 0 0 1 56 740 Tm ",
            700 + page % 50, 780 - page % 30, 720);
        const std::string* previous = nullptr;
        for (int line = 0; line < 48; ++line) {
            std::string text;
            while (text.size() < 80) {
                const std::string* word = &words[zipf(random)];
                while (previous && *previous == words[0] && *word == words[1])
                    word = &words[zipf(random)];
                text += *word + " ";
                previous = word;
            }
            if (line % 2 == 0) {
                content += "/F1 10 Tf (" + text + ") Tj T* ";
            } else {
                std::string codes;
                for (char c : text)
                    codes += fmt::format("{:04X}", int(c) - 31);
                content += "/F2 10 Tf <" + codes + "> Tj T* ";
            }
        }
        content += "ET";
        numbers.push_back(builder.addPage(content, "/MediaBox [0 0 612 792] " + resources));
    }
    for (size_t i = 0; i + 1 < numbers.size(); ++i)
        builder.addAnnotation(numbers[i], fmt::format("<< /Type /Annot /Subtype /Link /Rect [500 20 580 36] /Border [0 0 0] "
                                                      "/Dest [{} 0 R /XYZ 0 792 null] >>",
                                              numbers[i + 1]));
    std::vector<test::PdfBuilder::OutlineItem> outline;
    for (size_t i = 0; i < numbers.size(); i += 10)
        outline.push_back({ fmt::format("Section {}", i / 10 + 1), fmt::format("[{} 0 R /Fit]", numbers[i]), {}, {} });
    builder.setOutline(outline);
    return builder.buildString();
}

// 5,000 outline items (1,000 chapters of four sections, a third of them
// sharing a page) over 1,000 empty pages.
inline core::Data outlineDocument()
{
    test::PdfBuilder builder;
    std::vector<int> pages;
    for (int i = 0; i < 1000; ++i)
        pages.push_back(builder.addPage(""));
    std::vector<test::PdfBuilder::OutlineItem> chapters;
    for (int chapter = 0; chapter < 1000; ++chapter) {
        test::PdfBuilder::OutlineItem item { fmt::format("Chapter {}", chapter + 1),
            fmt::format("[{} 0 R /XYZ 0 792 0]", pages[size_t(chapter)]), {}, {} };
        for (int section = 0; section < 4; ++section) {
            size_t page = std::min<size_t>(999, size_t(chapter + section / 2));
            item.children.push_back({ fmt::format("Section {}.{}", chapter + 1, section + 1),
                fmt::format("[{} 0 R /FitH {}]", pages[page], 700 - section * 150), {}, {} });
        }
        chapters.push_back(std::move(item));
    }
    builder.setOutline(chapters);
    return builder.build();
}

// The path of the bench document of `pages` pages in `folder`, made when
// missing.
inline std::string benchDocumentPath(const std::string& folder, int pages)
{
    std::filesystem::create_directories(folder);
    std::string path = fmt::format("{}/bench-{}.pdf", folder, pages);
    if (!std::filesystem::exists(path)) {
        std::string temporary = path + ".part";
        {
            std::ofstream out(temporary, std::ios::binary);
            out << benchDocument(pages);
        }
        std::filesystem::rename(temporary, path);
    }
    return path;
}

} // namespace bench
