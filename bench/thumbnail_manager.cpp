// bench: tandry_filemodel tandry_shell tandry_kit tandry_platform_graphics
// The thumbnail manager end to end: twenty 6000 × 4000 JPEGs in the
// documents folder handed to generateThumbnailAndScreenPreviewForResource,
// made on the shared image queue into the preview and thumbnail caches,
// until the main loop has heard all forty notifications. Beside it
// ImageMagick (`convert -thumbnail`, both sizes in one call) does the same
// in the same run; target "vs_convert" ≤ 1, as for the bare pipeline in
// bench/thumbnails.cpp, so that the manager adds nothing that matters.
#include "PeerTiming.h"

#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fmt/format.h>

namespace {

constexpr int kFiles = 20;
constexpr float kWidth = 6000, kHeight = 4000;

// In the build tree rather than the system's temporary folder: the items'
// UUIDs live in extended attributes, which tmpfs may not keep.
const std::string& home()
{
    static const std::string path = [] {
        std::string path = TANDRY_SOURCE_DIR "/build/bench/thumbnail-manager";
        std::filesystem::create_directories(path);
        core::paths::setHome(path);
        core::RunLoop::setMainThread();
        setTrashPathProvider([] { return VKApplication::sharedApplication()->metadataSubdirectory("Trash"); });
        return path;
    }();
    return path;
}

std::vector<std::shared_ptr<VKFileResource>> makeInputs()
{
    // The application lays out (and on its first run migrates) the home
    // before anything goes into it.
    std::string folder = VKApplication::sharedApplication()->publicDirectory();
    std::vector<std::shared_ptr<VKFileResource>> resources;
    std::optional<std::string> bytes;
    for (int n = 0; n < kFiles; ++n) {
        std::string path = fmt::format("{}/photo{:02}.jpg", folder, n);
        if (!std::filesystem::exists(path)) {
            if (!bytes) {
                // Stripes and rings: enough detail that encoding is real work.
                auto context = gfx::makeImageContext(gfx::Size { kWidth, kHeight }, 1);
                for (float x = 0; x < kWidth; x += 16) {
                    context->setFillColor(x / kWidth, 0.5f, 1 - x / kWidth, 1);
                    context->fillRect(gfx::Rect(x, 0, 16, kHeight));
                }
                for (float r = 1900; r > 0; r -= 60) {
                    context->setFillColor(r / 1900, 1 - r / 1900, 0.3f, 0.5f);
                    context->fillEllipseInRect(gfx::Rect(kWidth / 2 - r, kHeight / 2 - r, 2 * r, 2 * r));
                }
                bytes = context->makeImage()->jpegRepresentation(0.85f);
            }
            core::fs::writeFileAtomically(path, *bytes);
        }
        resources.push_back(VKFileResource::resourceWithPath(path));
    }
    return resources;
}

void ThumbnailManagerVsConvert(benchmark::State& state)
{
    home();
    auto resources = makeInputs();
    auto manager = VKThumbnailManager::sharedManager();
    int heard = 0;
    std::vector<core::Observation> observations;
    for (const char* name : { VKThumbnailManagerDidGenerateThumbnailNotification.name,
             "VKThumbnailManagerThumbnailGenerationFailedNotification", VKThumbnailManagerDidGeneratePreviewNotification.name,
             VKThumbnailManagerPreviewGeneralFailedNotification.name }) {
        observations.push_back(core::NotificationCenter::defaultCenter().observe(name, manager,
            [&heard](const core::Notification&) { ++heard; }));
    }
    double ours = 0, convert = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        for (const auto* directory : { &manager->thumbnailCacheDirectory(), &manager->previewCacheDirectory() }) {
            for (const auto& entry : std::filesystem::directory_iterator(*directory))
                std::filesystem::remove(entry.path());
        }
        heard = 0;
        double elapsed = bench::seconds([&] {
            for (const auto& resource : resources)
                manager->generateThumbnailAndScreenPreviewForResource(resource);
            core::RunLoop::main().runUntil([&] { return heard == 2 * kFiles; }, 300);
        });
        state.SetIterationTime(elapsed);
        ours += elapsed;
        convert += bench::peer(fmt::format("mkdir -p {0}/out && for n in $(seq -w 0 {1}); do convert "
                                           "{0}/Documents/photo$n.jpg -thumbnail 960x640 -quality 70 -write "
                                           "{0}/out/preview$n.jpg -thumbnail 128x85 {0}/out/thumbnail$n.jpg; done",
            home(), kFiles - 1));
        ++rounds;
    }
    state.counters["convert_s"] = convert / double(rounds);
    state.counters["vs_convert"] = ours / convert;
    state.counters["ms_per_file"] = 1000 * ours / double(rounds * kFiles);
    if (heard != 2 * kFiles)
        bench::wrongAnswer(fmt::format("{} of {} thumbnails and previews made", heard, 2 * kFiles));
    bench::atMost("20 thumbnails and previews / convert", ours / convert, 1, "x",
        fmt::format("{:.2f} s, convert {:.2f} s", ours / double(rounds), convert / double(rounds)));
}
BENCHMARK(ThumbnailManagerVsConvert)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
