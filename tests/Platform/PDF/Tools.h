#pragma once

// The peers PDF tests compare with (qpdf, pdfinfo, pdftocairo, pdftoppm),
// run as child processes, and small readers of what they write.

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/PDF/Document.h"
#include "Platform/PDF/Scanner.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace pdftest {

// A scan's table that appends (to the std::string given as its info) the
// strings Tj shows while the font resource F1 resolves.
inline const pdf::OperatorTable& shownTextTable()
{
    static const pdf::OperatorTable table = [] {
        pdf::OperatorTable t;
        t.setCallback("Tj", [](pdf::Scanner& scanner, void* info) {
            pdf::String text;
            pdf::Object font;
            if (scanner.popString(text) && scanner.resource("Font", "F1", font))
                static_cast<std::string*>(info)->append(text.bytes());
        });
        return t;
    }();
    return table;
}

// The command's standard output; its exit status in `status`.
inline std::string run(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int result = pclose(pipe);
    if (status)
        *status = result;
    return output;
}

// A binary PPM (P6) as written by pdftoppm, or an RGBA copy of a bitmap
// context over white, as rows of RGB bytes.
struct RGBImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;

    const unsigned char* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * 3]; }
};

inline RGBImage readPPM(const std::string& path)
{
    RGBImage image;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return image;
    int maximum = 0;
    if (fscanf(file, "P6 %d %d %d", &image.width, &image.height, &maximum) == 3 && fgetc(file) != EOF) {
        image.pixels.resize(size_t(image.width) * image.height * 3);
        if (fread(image.pixels.data(), 1, image.pixels.size(), file) != image.pixels.size())
            image = {};
    }
    fclose(file);
    return image;
}

// The bitmap composed over white, as the peers render.
inline RGBImage overWhite(const gfx::BitmapContext& bitmap)
{
    RGBImage image { bitmap.width(), bitmap.height(), {} };
    image.pixels.reserve(size_t(image.width) * image.height * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            gfx::Pixel p = bitmap.pixelAtForTesting(x, y);
            image.pixels.push_back(uint8_t(p.red + 255 - p.alpha));
            image.pixels.push_back(uint8_t(p.green + 255 - p.alpha));
            image.pixels.push_back(uint8_t(p.blue + 255 - p.alpha));
        }
    }
    return image;
}

// The share of channel values that differ by more than `tolerance`.
inline double differingShare(const RGBImage& a, const RGBImage& b, int tolerance)
{
    if (a.width != b.width || a.height != b.height || a.pixels.empty())
        return 1.0;
    size_t differing = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        if (std::abs(int(a.pixels[i]) - int(b.pixels[i])) > tolerance)
            ++differing;
    }
    return double(differing) / double(a.pixels.size());
}

inline size_t nonWhitePixels(const gfx::BitmapContext& bitmap)
{
    size_t count = 0;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            gfx::Pixel p = bitmap.pixelAtForTesting(x, y);
            if (p.alpha > 0 && (p.red < 200 || p.green < 200 || p.blue < 200))
                ++count;
        }
    }
    return count;
}

// Every page's five boxes and rotation as `pdfinfo -box` prints them.
inline void expectBoxesAsPdfinfo(const pdf::Document& document, const std::string& path, const std::string& password = {})
{
    using pdf::Box;
    int count = document.pageCount();
    std::string options = password.empty() ? "" : " -upw " + password;
    std::string info = run(fmt::format("pdfinfo -box{} -f 1 -l {} {}", options, count, path));
    size_t boxes = 0, rotations = 0;
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
        int number = 0, angle = 0;
        char name[16] = {};
        double x1, y1, x2, y2;
        if (std::sscanf(line.c_str(), "Page %d rot: %d", &number, &angle) == 2) {
            ++rotations;
            EXPECT_EQ(document.page(number).rotationAngle(), angle) << line;
            continue;
        }
        if (std::sscanf(line.c_str(), "Page %d %15[A-Za-z]: %lf %lf %lf %lf", &number, name, &x1, &y1, &x2, &y2) != 6)
            continue;
        std::string box(name);
        if (box != "MediaBox" && box != "CropBox" && box != "BleedBox" && box != "TrimBox" && box != "ArtBox")
            continue;
        ++boxes;
        gfx::Rect rect = document.page(number).boxRect(box == "MediaBox" ? Box::Media
                : box == "CropBox"                                      ? Box::Crop
                : box == "BleedBox"                                     ? Box::Bleed
                : box == "TrimBox"                                      ? Box::Trim
                                                                        : Box::Art);
        SCOPED_TRACE(line);
        EXPECT_NEAR(rect.minX(), x1, 0.01);
        EXPECT_NEAR(rect.minY(), y1, 0.01);
        EXPECT_NEAR(rect.maxX(), x2, 0.01);
        EXPECT_NEAR(rect.maxY(), y2, 0.01);
    }
    EXPECT_EQ(boxes, size_t(count) * 5);
    EXPECT_EQ(rotations, size_t(count));
}

} // namespace pdftest
