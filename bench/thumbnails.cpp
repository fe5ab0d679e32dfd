// bench: tandry_shell tandry_platform_graphics
// Twenty 6000 × 4000 JPEGs made into a screen preview (960 × 640, high
// quality) and a thumbnail (128 × 85 from the preview), both written as
// JPEG, against ImageMagick (`convert -thumbnail`, both sizes in one call)
// and vipsthumbnail (one call per size) doing the same in the same run.
// Target: at most ImageMagick's time ("vs_convert" ≤ 1); "vs_vipsthumbnail"
// tells how close we come to the fastest tool. "peak_MB" is the memory one
// file takes at its peak, against "budget_MB": one full decoded image plus
// its preview.
#include "Shell/ImageScalingAdditions.h"
#include "PeerTiming.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Paths.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <functional>
#include <malloc.h>

namespace {

constexpr int kFiles = 20;
constexpr int kWidth = 6000, kHeight = 4000;
constexpr float kPreviewEdge = 960, kThumbnailEdge = 128;

const std::string& folder()
{
    static const std::string path = [] {
        auto path = std::filesystem::temp_directory_path() / "tandry-bench-thumbnails";
        std::filesystem::create_directories(path / "out");
        std::filesystem::create_directories(path / "home");
        core::paths::setHome((path / "home").string()); // the device's facts live in its settings
        return path.string();
    }();
    return path;
}

std::string input(int n)
{
    return fmt::format("{}/photo{:02}.jpg", folder(), n);
}

// One busy picture (gradients, stripes, discs), written under twenty names.
void makeInputs()
{
    if (std::filesystem::exists(input(kFiles - 1)))
        return;
    auto context = gfx::makeImageContext(gfx::Size { kWidth, kHeight }, 1);
    for (int x = 0; x < kWidth; x += 8) {
        context->setFillColor(float(x) / kWidth, float(x % 256) / 255, 1 - float(x) / kWidth, 1);
        context->fillRect(gfx::Rect(float(x), 0, 8, kHeight));
    }
    for (int i = 0; i < 400; ++i) {
        context->setFillColor(float(i % 7) / 6, float(i % 5) / 4, float(i % 3) / 2, 0.6f);
        float x = float((i * 7919) % kWidth), y = float((i * 104729) % kHeight), r = float(20 + (i * 31) % 300);
        context->fillEllipseInRect(gfx::Rect(x - r, y - r, 2 * r, 2 * r));
    }
    auto bytes = context->makeImage()->jpegRepresentation(0.85f);
    for (int n = 0; n < kFiles; ++n)
        core::fs::writeFileAtomically(input(n), *bytes);
}

using bench::peer;
using bench::seconds;

// What the thumbnail work does for one stored image.
void previewAndThumbnail(const std::string& path, int n)
{
    auto image = gfx::Image::imageWithContentsOfFile(path);
    gfx::Size size = image->size();
    float edge = std::min({ size.width, size.height, kPreviewEdge });
    auto preview = vkImageScaledToSize(image, vkSizeConstrainedTo(size, edge), gfx::InterpolationQuality::High);
    auto thumbnail = vkImageScaledToSize(preview, vkSizeConstrainedTo(*preview, kThumbnailEdge), gfx::InterpolationQuality::Low);
    preview->writeJPEG(fmt::format("{}/out/preview{:02}", folder(), n), 0.7f);
    thumbnail->writeJPEG(fmt::format("{}/out/thumbnail{:02}", folder(), n), 0.7f);
}

long statusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field))
            return std::atol(line.c_str() + std::strlen(field));
    }
    return 0;
}

void ThumbnailsVsPeers(benchmark::State& state)
{
    // Large blocks straight from and back to the system, so that the
    // resident size follows what is in use (the measurement at the end).
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    makeInputs();
    double ours = 0, convert = 0, vips = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        double elapsed = seconds([] {
            for (int n = 0; n < kFiles; ++n)
                previewAndThumbnail(input(n), n);
        });
        state.SetIterationTime(elapsed);
        ours += elapsed;
        convert += peer(fmt::format("for n in $(seq -w 0 {}); do convert {}/photo$n.jpg -thumbnail 960x640 -quality 70 "
                                    "-write {}/out/im-preview$n.jpg -thumbnail 128x85 {}/out/im-thumbnail$n.jpg; done",
            kFiles - 1, folder(), folder(), folder()));
        vips += peer(fmt::format("for n in $(seq -w 0 {}); do vipsthumbnail {}/photo$n.jpg -s 960x640 -o "
                                 "{}/out/vips-preview$n.jpg[Q=70] && vipsthumbnail {}/photo$n.jpg -s 128x85 -o "
                                 "{}/out/vips-thumbnail$n.jpg[Q=70]; done",
            kFiles - 1, folder(), folder(), folder(), folder()));
        ++rounds;
    }
    state.counters["convert_s"] = convert / double(rounds);
    state.counters["vipsthumbnail_s"] = vips / double(rounds);
    state.counters["vs_convert"] = ours / convert;
    state.counters["vs_vipsthumbnail"] = ours / vips;

    // The peak of one file: the high-water mark reset ("5" into clear_refs),
    // then the work, then the mark against where it started.
    malloc_trim(0);
    { std::ofstream("/proc/self/clear_refs") << "5"; }
    long before = statusKilobytes("VmRSS:");
    previewAndThumbnail(input(0), 0);
    long peak = statusKilobytes("VmHWM:");
    state.counters["peak_MB"] = double(peak - before) / 1024;
    state.counters["budget_MB"] = (double(kWidth) * kHeight * 4 + double(kPreviewEdge) * 640 * 4) / (1 << 20);
    bench::atMost("20 previews and thumbnails / convert", ours / convert, 1, "x",
        fmt::format("{:.2f} s, convert {:.2f} s, vipsthumbnail {:.2f} s", ours / double(rounds), convert / double(rounds),
            vips / double(rounds)));
    bench::atMost("peak memory of one file", double(peak - before) / 1024,
        (double(kWidth) * kHeight * 4 + double(kPreviewEdge) * 640 * 4) / (1 << 20), "MB",
        "one decoded image and its preview");
}
BENCHMARK(ThumbnailsVsPeers)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
