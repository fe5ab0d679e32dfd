#pragma once

// What the benchmarks of the PDF layouts and viewer share: a data source of
// page views over a document, the reference drawing of pages straight
// through pdf::drawPage, and the process's memory figures.
//
// The reference draws from a document opened for it alone: the layouts meet
// every page for the first time (its objects, fonts and images read then),
// so drawing pages the layout already read would compare a cold path with a
// warm one.

#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/PDF/PageDrawing.h"
#include "Platform/UI/TiledLayer.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKPDFPageView.h"

#include "../PeerTiming.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace bench {

// Where the bench documents are made (once, shared by the benchmarks).
inline const std::string& benchFolder()
{
    static const std::string path = (std::filesystem::temp_directory_path() / "tandry-bench-pdfs").string();
    return path;
}

// The main thread, a home of its own under the build tree, a screen of
// `points` at scale 2 and two tile workers; false when already begun.
inline bool beginLayoutBench(const std::string& homeName, gfx::Size points)
{
    if (core::RunLoop::hasMainThread())
        return false;
    core::RunLoop::setMainThread();
    std::string home = std::string(TANDRY_SOURCE_DIR "/build/bench/") + homeName;
    std::filesystem::create_directories(home);
    core::paths::setHome(home);
    gfx::Screen::main().setBounds({ 0, 0, points.width, points.height });
    gfx::Screen::main().setScale(2);
    ui::TiledLayer::setWorkerCountForTesting(2);
    return true;
}

class LayoutPages : public core::Object, public VKDocumentViewDataSource {
public:
    explicit LayoutPages(std::shared_ptr<VKPDFDocument> document) : document(std::move(document)) { }
    size_t numberOfPagesInDocumentView(VKDocumentView&) override { return document->numPages(); }
    gfx::Size documentViewSizeForPageAtIndex(VKDocumentView&, size_t index) override
    {
        return document->pageGeometry(uint32_t(index)).rotatedBox.size;
    }
    std::shared_ptr<ui::View> documentViewViewForPageAtIndex(VKDocumentView&, size_t index) override
    {
        return VKPDFPageView::pageViewWithPage(VKPDFPage::pageWithDocument(document, int(index) + 1));
    }
    std::optional<std::string> documentViewTitleForPageAtIndex(VKDocumentView&, size_t) override { return {}; }
    unsigned maxDepthForDocumentView(VKDocumentView&) override { return 0; }
    gfx::Size documentViewThumbnailSizeForIndex(VKDocumentView&, size_t) override { return {}; }
    std::shared_ptr<gfx::Image> documentViewThumbnailImageForIndex(VKDocumentView&, size_t, float) override
    {
        return nullptr;
    }
    std::shared_ptr<VKPDFDocument> document;
};

// Pages of a file drawn straight through pdf::drawPage at a pixel width
// on white, from a document opened for it alone (the opening not timed).
class DirectPageDrawing {
public:
    explicit DirectPageDrawing(const std::string& path)
        : DirectPageDrawing(VKPDFDocument::initWithPath(path))
    {
    }
    // Over a document already open (a viewer's), whose renderer documents,
    // fonts and caches the drawing then shares.
    explicit DirectPageDrawing(std::shared_ptr<VKPDFDocument> document)
        : m_document(std::move(document))
    {
        if (m_document)
            m_document->pageGeometry(0);
    }

    // Seconds to draw page n (1-based) at `width` pixels.
    double draw(int n, float width)
    {
        if (!m_document)
            return 0;
        return seconds([&] {
            pdf::Page page = m_document->documentRef()->page(n);
            gfx::Rect box = VKPDFPageGetRotatedBoxRect(page);
            float height = std::ceil(box.height() * width / box.width());
            auto bitmap = gfx::BitmapContext::create(int(width), int(height));
            bitmap->setFillColor(1, 1, 1, 1);
            bitmap->fillRect(gfx::Rect(0, 0, width, height));
            bitmap->concatCTM(VKPDFPageGetDrawingTransform(page, pdf::Box::Crop, gfx::Rect(0, 0, width, height), 0, true));
            pdf::drawPage(page, *bitmap);
            benchmark::DoNotOptimize(bitmap->pixelAtForTesting(0, 0));
        });
    }

private:
    std::shared_ptr<VKPDFDocument> m_document;
};

// Seconds to draw each of pages first … last (1-based) of the file at
// `width` pixels on white, from a newly opened document.
inline std::vector<double> drawPagesDirectly(const std::string& path, int first, int last, float width)
{
    std::vector<double> times;
    DirectPageDrawing drawing(path);
    for (int n = first; n <= last; ++n)
        times.push_back(drawing.draw(n, width));
    return times;
}

inline double total(const std::vector<double>& values)
{
    return std::accumulate(values.begin(), values.end(), 0.0);
}

// The value at quantile q (0 … 1) of the values.
inline double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(double(values.size() - 1) * q)];
}

// A "/proc/self/status" figure in kilobytes ("VmRSS:", "VmHWM:").
inline size_t statusKilobytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0)
            return size_t(std::stoul(line.substr(std::strlen(key))));
    return 0;
}

// The peak ("VmHWM:") starts again from what is resident now, so that a
// run is not charged with the benchmarks before it.
inline void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace bench
