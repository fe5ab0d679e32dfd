// bench: tandry_viewers tandry_shell
// The picture viewer on a 768 × 1024 tablet at scale 2, seeded 12 MP
// (4000 × 3000) and 3 MP (2000 × 1500) JPEGs, warm cache, peers in the same
// run:
// - "uncached12": from the viewer's push until the screen preview is made,
//   written with its thumbnail, and shown (the window drawn), with both
//   caches emptied first; against "convertMs", `convert -thumbnail` making
//   the same two sizes in one call (target ≤ 1×: "vsConvert"), and
//   "vipsMs", `vipsthumbnail` making them, printed beside;
// - "cached12": the same with the preview already cached (target ≤ 50 ms),
//   and "shownMs", until the viewer showed it, before the window's first
//   drawing of it ("drawMs");
// - "shown3": the 3 MP picture shown as itself, against "rgbaMs", `convert
//   x.jpg rgba:-` (target ≤ 1.3×: "vsRgba");
// - "pinch": a pinch frame (the zoom set, the window drawn) stepping from
//   the fitted zoom to 2, median ("pinchMedianMs", target ≤ 8 ms) and how
//   many pictures were decoded meanwhile ("pinchDecodes", target 0);
// - "swipe": 50 different 12 MP photos shown one after another: the
//   resident size's largest rise over the start, in full decodes of one
//   photo ("swipeGrowthDecodes", target ≤ 3), and what is left after the
//   viewer is popped ("afterPopDecodes", target about 0);
// - "LargePicture": a 12,000 × 9,000 JPEG and a 10,000 × 7,500 PNG on a
//   1600 × 1000 screen: the resident rise over the rest before the push
//   while it shows fitted ("shownMB") and zoomed in by steps to twice its
//   pixels ("zoomedMB"), each ≤ 100 MB, and what is left once it was
//   popped and the viewer's own release has run ("leftMB", ≤ 20 MB).

#include "Viewers/Image/VKImageLayer.h"
#include "Viewers/Image/VKImageTileLayer.h"
#include "Viewers/Image/VKImageView.h"
#include "Viewers/Image/VKImageViewController.h"

#include "../../tests/Support/ListedFolderHost.h"
#include "../PeerTiming.h"
#include "../ScreenBench.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// In the build tree: the items' UUIDs (the preview cache's keys) live in
// extended attributes, which tmpfs may not keep.
const std::string& home()
{
    static const std::string path = TANDRY_SOURCE_DIR "/build/bench/image-open";
    return path;
}

using Folder = test::ListedFolderHost;

// A seeded photo-like picture: stripes, rings and noise, so that decoding
// and scaling are real work. `seed` shifts the pattern, so that each of the
// swiped photos is its own.
std::string makeJPEG(const std::string& path, float width, float height, int seed)
{
    if (std::filesystem::exists(path))
        return path;
    auto context = gfx::makeImageContext(gfx::Size { width, height }, 1);
    for (float x = 0; x < width; x += 12) {
        float t = std::fmod(x / width + float(seed) * 0.037f, 1.0f);
        context->setFillColor(t, 0.5f, 1 - t, 1);
        context->fillRect(gfx::Rect(x, 0, 12, height));
    }
    float outer = std::min(width, height) / 2;
    for (float r = outer; r > 0; r -= outer / 40) {
        context->setFillColor(r / outer, 1 - r / outer, 0.3f + float(seed % 7) * 0.1f, 0.5f);
        context->fillEllipseInRect(gfx::Rect(width / 2 - r, height / 2 - r, 2 * r, 2 * r));
    }
    core::fs::writeFileAtomically(path, context->makeImage()->jpegRepresentation(0.9f).value_or(""));
    return path;
}

struct Scene {
    std::shared_ptr<Folder> folder;
    std::string big, small;
    std::vector<std::string> swiped;
    ui::RenderOptions real;
};

Scene& scene()
{
    static Scene* made = [] {
        core::RunLoop::setMainThread();
        std::filesystem::create_directories(home());
        core::paths::setHome(home());
        gfx::setTextEngine(gfx::makePangoTextEngine());
        core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
        gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
        gfx::Screen::main().setScale(2);
        ui::testing::Environment::begin(VKApplication::create());
        gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
        gfx::Screen::main().setScale(2);
        core::UserDefaults::standard()->registerDefaults(
            { { "VKSlideShowTimeout", core::Value(3.0) }, { "VKSlideShowTransitionType", core::Value("fade") } });
        ui::testing::Environment::keyWindow()->setFrame({ 0, 0, 768, 1024 });
        auto* scene = new Scene;
        std::string pictures = VKApplication::sharedApplication()->publicDirectory() + "/Pictures";
        std::filesystem::create_directories(pictures);
        scene->big = makeJPEG(pictures + "/big.jpg", 4000, 3000, 0);
        scene->small = makeJPEG(pictures + "/small.jpg", 2000, 1500, 1);
        for (int n = 0; n < 50; ++n)
            scene->swiped.push_back(makeJPEG(fmt::format("{}/swipe{:02}.jpg", pictures, n), 4000, 3000, n + 2));
        scene->folder = std::make_shared<Folder>();
        scene->folder->folder = VKFileResource::resourceWithPath(pictures);
        scene->real.realText = true;
        // Fonts and caches warmed.
        ui::Renderer::renderScreenImage(scene->real);
        return scene;
    }();
    return *made;
}

void emptyCaches()
{
    auto manager = VKThumbnailManager::sharedManager();
    for (const auto* directory : { &manager->thumbnailCacheDirectory(), &manager->previewCacheDirectory() }) {
        if (!std::filesystem::exists(*directory))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(*directory))
            std::filesystem::remove_all(entry.path());
    }
}

// The viewer pushed over a plain list, in the test window.
struct Shown {
    std::shared_ptr<VKNavigationController> navigation;
    std::shared_ptr<VKImageViewController> viewer;
    // From the push until the viewer showed the picture, before the
    // window was drawn.
    double shownMs = 0;
    // The window's drawing after it was shown.
    double drawMs = 0;

    Shown()
    {
        navigation = VKNavigationController::create(std::make_shared<ui::TableViewController>());
        ui::testing::Environment::keyWindow()->setRootViewController(navigation);
        core::RunLoop::main().runUntilIdle();
    }
    // Pushes the viewer on `path` and runs the loop until `shown` holds,
    // then draws the window; false when it did not come within 30 s.
    bool open(const std::string& path, const std::function<bool(VKImageViewController&)>& shown)
    {
        auto& files = scene().folder->files;
        files = { VKFileResource::resourceWithPath(path) };
        viewer = VKImageViewController::imageViewControllerWithResource(files.front(), scene().folder);
        navigation->pushViewController(viewer, false);
        auto pushed = Clock::now();
        bool came = core::RunLoop::main().runUntil([&] { return shown(*viewer); }, 30);
        shownMs = bench::msSince(pushed);
        if (!came)
            std::fprintf(stderr, "not shown: %s loading %d preview %d full %d view image %d\n", path.c_str(),
                viewer->contentIsLoading(), bool(viewer->preview()), bool(viewer->fullImage()),
                viewer->imageView() && viewer->imageView()->image() ? 1 : 0);
        auto drawing = Clock::now();
        ui::Renderer::renderScreenImage(scene().real);
        drawMs = bench::msSince(drawing);
        return came;
    }
    ~Shown()
    {
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
        navigation.reset();
        viewer.reset();
        core::RunLoop::main().runUntil([] { return false; }, 0.1);
    }
};

bool previewShown(VKImageViewController& viewer)
{
    return !viewer.contentIsLoading() && viewer.preview() && viewer.imageView()
        && viewer.imageView()->image() == viewer.preview();
}

// Shown, and both of its cache files written.
bool previewShownAndWritten(VKImageViewController& viewer)
{
    if (!previewShown(viewer) || !viewer.resource())
        return false;
    auto manager = VKThumbnailManager::sharedManager();
    auto preview = manager->previewCachePathForResource(*viewer.resource());
    auto thumbnail = manager->thumbnailCachePathForResource(*viewer.resource());
    return preview && thumbnail && std::filesystem::exists(*preview) && std::filesystem::exists(*thumbnail);
}

bool fullShown(VKImageViewController& viewer)
{
    return !viewer.contentIsLoading() && viewer.fullImage() && viewer.imageView()
        && viewer.imageView()->image() == viewer.fullImage();
}

void Uncached12MP(benchmark::State& state)
{
    auto& s = scene();
    bench::peer(fmt::format("cat '{}' > /dev/null", s.big));
    std::string out = home() + "/peer";
    std::filesystem::create_directories(out);
    double ours = 0, convert = 0, vips = 0;
    bool failed = false;
    for (auto _ : state) {
        emptyCaches();
        {
            Shown shown;
            auto start = Clock::now();
            failed |= !shown.open(s.big, previewShownAndWritten);
            ours += bench::msSince(start);
        }
        convert += 1e3 * bench::peer(fmt::format("/usr/bin/convert '{0}' -thumbnail 1536x2048 -quality 70 -write "
                                                 "'{1}/preview.jpg' -thumbnail 128x96 '{1}/thumbnail.jpg'",
                                s.big, out));
        vips += 1e3 * bench::peer(fmt::format("vipsthumbnail '{0}' -s 1536x2048 -o '{1}/vp.jpg[Q=70]' && "
                                              "vipsthumbnail '{0}' -s 128x96 -o '{1}/vt.jpg[Q=70]'",
                            s.big, out));
    }
    double runs = double(state.iterations());
    state.counters["oursMs"] = ours / runs;
    state.counters["convertMs"] = convert / runs;
    state.counters["vipsMs"] = vips / runs;
    state.counters["vsConvert"] = ours / convert;
    state.counters["failed"] = failed;
    if (failed)
        bench::wrongAnswer("the uncached 12 MP picture was not shown with its files written");
    bench::atMost("uncached 12 MP shown / convert -thumbnail", ours / convert, 1, "x",
        fmt::format("{:.0f} ms, convert {:.0f} ms, vipsthumbnail {:.0f} ms", ours / runs, convert / runs, vips / runs));
}
BENCHMARK(Uncached12MP)->Iterations(3)->Unit(benchmark::kMillisecond);

void Cached12MP(benchmark::State& state)
{
    auto& s = scene();
    emptyCaches();
    {
        Shown warm;
        warm.open(s.big, previewShown);
    }
    double ours = 0, beforeDrawing = 0, drawing = 0;
    bool failed = false;
    for (auto _ : state) {
        Shown shown;
        auto start = Clock::now();
        failed |= !shown.open(s.big, previewShown);
        ours += bench::msSince(start);
        beforeDrawing += shown.shownMs;
        drawing += shown.drawMs;
        // The whole picture's decode ends before the next opening, which
        // would otherwise wait behind it on the image queue.
        core::RunLoop::main().runUntil([&] { return shown.viewer->fullImage() != nullptr; }, 30);
    }
    state.counters["oursMs"] = ours / double(state.iterations());
    state.counters["shownMs"] = beforeDrawing / double(state.iterations());
    state.counters["drawMs"] = drawing / double(state.iterations());
    state.counters["failed"] = failed;
    if (failed)
        bench::wrongAnswer("the cached 12 MP picture was not shown");
    bench::atMost("cached 12 MP shown and drawn", ours / double(state.iterations()), 50, "ms",
        fmt::format("shown {:.0f} ms, then drawn in {:.0f} ms", beforeDrawing / double(state.iterations()),
            drawing / double(state.iterations())));
}
BENCHMARK(Cached12MP)->Iterations(5)->Unit(benchmark::kMillisecond);

void Shown3MP(benchmark::State& state)
{
    auto& s = scene();
    bench::peer(fmt::format("cat '{}' > /dev/null", s.small));
    double ours = 0, rgba = 0;
    bool failed = false;
    for (auto _ : state) {
        {
            Shown shown;
            auto start = Clock::now();
            failed |= !shown.open(s.small, fullShown);
            ours += bench::msSince(start);
        }
        rgba += 1e3 * bench::peer(fmt::format("/usr/bin/convert '{}' rgba:- > /dev/null", s.small));
    }
    double runs = double(state.iterations());
    state.counters["oursMs"] = ours / runs;
    state.counters["rgbaMs"] = rgba / runs;
    state.counters["vsRgba"] = ours / rgba;
    state.counters["failed"] = failed;
    if (failed)
        bench::wrongAnswer("the 3 MP picture was not shown");
    bench::atMost("3 MP shown whole / convert rgba", ours / rgba, 1.3, "x",
        fmt::format("{:.0f} ms, convert {:.0f} ms", ours / runs, rgba / runs));
}
BENCHMARK(Shown3MP)->Iterations(5)->Unit(benchmark::kMillisecond);

void PinchFrame(benchmark::State& state)
{
    auto& s = scene();
    std::vector<double> frames;
    int decodes = 0;
    for (auto _ : state) {
        Shown shown;
        // Both the preview and the whole picture in hand, as a pinch finds
        // them once the picture has loaded.
        shown.open(s.big, [](VKImageViewController& viewer) { return previewShown(viewer) && viewer.fullImage(); });
        auto* view = shown.viewer->imageView();
        float fit = view->getZoomToFit();
        auto full = shown.viewer->fullImage();
        auto shownImage = view->image();
        for (int step = 0; step <= 60; ++step) {
            float zoom = fit + (2 - fit) * float(step) / 60;
            auto start = Clock::now();
            shown.viewer->imageViewWillZoomToLevel(*view, zoom);
            view->setZoom(zoom, false);
            shown.viewer->imageViewDidZoomToLevel(*view, zoom);
            ui::Renderer::renderScreenImage(s.real);
            frames.push_back(bench::msSince(start));
            // A picture that is neither the preview nor the full bitmap
            // decoded at open was decoded during the pinch.
            if (view->image() != shownImage && view->image() != full && view->image() != shown.viewer->preview())
                ++decodes;
            shownImage = view->image();
            core::RunLoop::main().runUntilIdle();
        }
        if (shown.viewer->fullImage() != full)
            ++decodes;
    }
    std::sort(frames.begin(), frames.end());
    state.counters["pinchMedianMs"] = frames[frames.size() / 2];
    state.counters["pinchP95Ms"] = frames[frames.size() * 95 / 100];
    state.counters["pinchDecodes"] = decodes;
    bench::atMost("pinch frame, median", frames[frames.size() / 2], 8, "ms",
        fmt::format("p95 {:.1f} ms", frames[frames.size() * 95 / 100]));
    bench::atMost("pictures decoded while pinching", decodes, 0);
}
BENCHMARK(PinchFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

void Swipe50(benchmark::State& state)
{
    auto& s = scene();
    // One full decode of a 12 MP photo, four bytes a pixel.
    const double decodeMB = 4000.0 * 3000 * 4 / 1e6;
    double growth = 0, afterPop = 0, perPhoto = 0;
    for (auto _ : state) {
        emptyCaches();
        {
            Shown shown;
            core::RunLoop::main().runUntil([] { return false; }, 0.3);
            double start = bench::residentMB();
            auto& files = s.folder->files;
            files.clear();
            for (auto& path : s.swiped)
                files.push_back(VKFileResource::resourceWithPath(path));
            shown.viewer = VKImageViewController::imageViewControllerWithResource(files.front(), s.folder);
            shown.navigation->pushViewController(shown.viewer, false);
            auto begun = Clock::now();
            for (size_t n = 0; n < files.size(); ++n) {
                if (n > 0)
                    shown.viewer->startImageLoadForResource(files[n], std::nullopt, -1);
                core::RunLoop::main().runUntil([&] { return previewShown(*shown.viewer); }, 30);
                ui::Renderer::renderScreenImage(s.real);
                growth = std::max(growth, bench::residentMB() - start);
            }
            perPhoto = bench::msSince(begun) / double(files.size());
            shown.navigation->popViewController(false);
            shown.viewer.reset();
            core::RunLoop::main().runUntil([] { return false; }, 1.0);
            afterPop = bench::residentMB() - start;
        }
    }
    state.counters["swipeGrowthDecodes"] = growth / decodeMB;
    state.counters["afterPopDecodes"] = afterPop / decodeMB;
    state.counters["msPerPhoto"] = perPhoto;
    bench::atMost("resident rise swiping 50 photos, in full decodes", growth / decodeMB, 3, "",
        fmt::format("{:.0f} ms a photo", perPhoto));
    bench::atMost("resident rise left after the pop, in full decodes", afterPop / decodeMB, 0.5);
}
BENCHMARK(Swipe50)->Iterations(1)->Unit(benchmark::kMillisecond);

// A picture far larger than the screen on a 1600 × 1000 screen at scale 1,
// its file made by enlarging one of our seeded JPEGs with vips: the resident
// size while it shows fitted and zoomed to its own pixels, over what it was
// before the push, and what is left once the viewer is popped and its own
// release (spare bitmaps and a malloc_trim of the free heap) has run. An
// unmeasured opening checks both sides first: the fitted bitmap against
// `vips shrink` of the file, the zoomed screen against `vips crop`.
struct Large {
    std::string path;
    int width, height;
};

// The mean difference of the colour components over the common part of two
// pictures drawn at `size`, in levels of 255; -1 when one is missing.
double meanDifference(const std::shared_ptr<gfx::Image>& a, const std::shared_ptr<gfx::Image>& b, gfx::Size size)
{
    if (!a || !b)
        return -1;
    auto drawn = [&](const gfx::Image& image) {
        auto context = gfx::makeImageContext(size, 1);
        context->drawImage(gfx::Rect(0, 0, size.width, size.height), image);
        return context;
    };
    auto ours = drawn(*a), theirs = drawn(*b);
    double sum = 0;
    long count = 0;
    for (int y = 0; y < int(size.height); y += 3) {
        for (int x = 0; x < int(size.width); x += 3) {
            auto p = ours->pixelAtForTesting(x, y), q = theirs->pixelAtForTesting(x, y);
            sum += std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue);
            count += 3;
        }
    }
    return count ? sum / double(count) : -1;
}

// Reads /proc/self/status's peak resident size (VmHWM), in MB, and resets it.
double peakResidentMB(bool reset)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    double peak = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            peak = std::atof(line.c_str() + 6) * 1024 / 1e6;
    }
    if (reset)
        std::ofstream("/proc/self/clear_refs") << "5";
    return peak;
}

const Large& largePicture(bool png)
{
    static const auto made = [] {
        std::string pictures = VKApplication::sharedApplication()->publicDirectory() + "/Pictures";
        std::string seed = makeJPEG(home() + "/large-seed.jpg", 1200, 900, 5);
        Large jpeg { pictures + "/large.jpg", 12000, 9000 }, png { pictures + "/large.png", 10000, 7500 };
        if (!std::filesystem::exists(jpeg.path))
            bench::peer(fmt::format("vips resize '{}' '{}[Q=90]' 10", seed, jpeg.path));
        if (!std::filesystem::exists(png.path))
            bench::peer(fmt::format("vips resize '{}' '{}' 8.33334", seed, png.path));
        return std::pair { jpeg, png };
    }();
    return png ? made.second : made.first;
}

// The screen and the test window `points` at `scale`.
void useScreen(gfx::Size points, float scale)
{
    gfx::Screen::main().setBounds({ 0, 0, points.width, points.height });
    gfx::Screen::main().setScale(scale);
    ui::testing::Environment::keyWindow()->setFrame({ 0, 0, points.width, points.height });
}

void LargePicture(benchmark::State& state, bool png)
{
    auto& s = scene();
    const Large& large = largePicture(png);
    const char* name = png ? "10,000 × 7,500 PNG" : "12,000 × 9,000 JPEG";
    useScreen({ 1600, 1000 }, 1);
    std::string out = home() + "/peer";
    std::filesystem::create_directories(out);
    double shownRise = 0, zoomedRise = 0, peakRise = 0, left = 0, fitDiff = -1, zoomDiff = -1, shownMs = 0;
    bool failed = false;
    for (auto _ : state) {
        for (int measured = 0; measured < 2; ++measured) {
            emptyCaches();
            Shown shown;
            gfx::BitmapContext::releaseSpareMemory();
            core::Device::releaseFreeHeapMemory();
            double rest = bench::residentMB();
            peakResidentMB(true);
            auto start = Clock::now();
            failed |= !shown.open(large.path, previewShown);
            double ms = bench::msSince(start);
            auto* view = shown.viewer->imageView();
            auto preview = shown.viewer->preview();
            if (measured) {
                shownMs = ms;
                shownRise = bench::residentMB() - rest;
            } else if (preview) {
                gfx::Size size = preview->size();
                bench::peer(fmt::format("vips shrink '{}' '{}/fit.png' {} {}", large.path, out,
                    double(large.width) / size.width, double(large.height) / size.height));
                fitDiff = meanDifference(preview, gfx::Image::imageWithContentsOfFile(out + "/fit.png"), size);
            }
            // Zoomed in by steps about the middle, to its own pixels and
            // on to the most the viewer zooms (twice them), each drawn
            // with its tiles; the answer is checked at its own pixels.
            std::unique_ptr<gfx::BitmapContext> screen;
            float fit = view->getZoomToFit();
            for (int step = 1; step <= 12; ++step) {
                float zoom = fit * std::pow(2 / fit, float(step) / 12);
                view->setZoom(measured ? zoom : 1, false);
                ui::TiledLayer::renderAllVisibleTilesSynchronously();
                screen = ui::Renderer::renderScreenImage(s.real);
                core::RunLoop::main().runUntilIdle();
                if (!measured)
                    break;
                // The window's own drawing is the program's; this copy of
                // it is the bench's.
                screen.reset();
                zoomedRise = std::max(zoomedRise, bench::residentMB() - rest);
                if (getenv("DBG")) { auto* t = view->imageLayer()->tileLayer(); double r = bench::residentMB() - rest; gfx::BitmapContext::releaseSpareMemory(); double r2 = bench::residentMB() - rest; core::Device::releaseFreeHeapMemory(); fprintf(stderr, "step %d zoom %.3f rise %.1f nospare %.1f trimmed %.1f tiles %zu (%.1f MB) bands %.1f MB read %zu\n", step, zoom, r, r2, bench::residentMB() - rest, t->cachedTileCount(), t->cachedPixelsForTesting()*4/1e6, t->keptBandPixelsForTesting()*4/1e6, t->bandsReadForTesting()); }
            }
            if (measured) {
                peakRise = peakResidentMB(false) - rest;
            } else if (screen) {
                gfx::Rect frame = view->convertRect(view->bounds(), nullptr);
                gfx::Rect part(std::floor(frame.midX() - 150), std::floor(frame.midY() - 150), 300, 300);
                gfx::Point origin = ui::testing::Environment::keyWindow()->layer().convertPoint(part.origin,
                    view->imageLayer());
                bench::peer(fmt::format("vips crop '{}' '{}/zoom.png' {} {} 300 300", large.path, out,
                    std::lround(origin.x), std::lround(origin.y)));
                auto cut = gfx::makeImageContext(part.size, 1);
                cut->drawImage(gfx::Rect(-part.minX(), -part.minY(), float(screen->width()), float(screen->height())),
                    *screen->makeImage());
                zoomDiff = meanDifference(cut->makeImage(), gfx::Image::imageWithContentsOfFile(out + "/zoom.png"),
                    part.size);
            }
            // Nothing of the bench's own holds a picture past this.
            preview.reset();
            screen.reset();
            shown.navigation->popViewController(false);
            shown.viewer.reset();
            core::RunLoop::main().runUntil([] { return false; }, 1.0);
            if (measured)
                left = bench::residentMB() - rest;
        }
    }
    useScreen({ 768, 1024 }, 2);
    state.counters["shownMB"] = shownRise;
    state.counters["zoomedMB"] = zoomedRise;
    state.counters["peakMB"] = peakRise;
    state.counters["leftMB"] = left;
    state.counters["fitDiff"] = fitDiff;
    state.counters["zoomDiff"] = zoomDiff;
    if (failed)
        bench::wrongAnswer(fmt::format("the {} was not shown", name));
    if (fitDiff < 0 || fitDiff > 4)
        bench::wrongAnswer(fmt::format("the fitted {} is not vips shrink's picture ({:.1f} levels apart)", name, fitDiff));
    if (zoomDiff < 0 || zoomDiff > 4)
        bench::wrongAnswer(fmt::format("the zoomed {} is not vips crop's picture ({:.1f} levels apart)", name, zoomDiff));
    bench::atMost(fmt::format("{}: resident rise while it shows fitted", name), shownRise, 100, "MB",
        fmt::format("shown in {:.0f} ms; the fitted bitmap {:.1f} levels from vips shrink", shownMs, fitDiff));
    bench::atMost(fmt::format("{}: resident rise zooming in to twice its pixels", name), zoomedRise, 100, "MB",
        fmt::format("peak {:.0f} MB; the tiles {:.1f} levels from vips crop", peakRise, zoomDiff));
    bench::atMost(fmt::format("{}: resident rise left after the pop and the viewer's release (with malloc_trim)", name),
        left, 20, "MB");
}
BENCHMARK_CAPTURE(LargePicture, jpeg, false)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LargePicture, png, true)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
