// bench: tandry_viewers
// The paged document frame on the main thread:
// - a document of 100,000 screens (a 320 × 480 view) stepped one screen at a
//   time, each step's offset heard through currentOffsetDidChange (page
//   number, bubble, title view, page index value): ≤ 0.1 ms a step ("usPerStep");
// - the page index's labels for 10^6 pages in a 390-point column, bold 11:
//   ≤ 50 µs a layout.

#include "Viewers/Document/VKDocumentViewController.h"
#include "Viewers/Document/VKPageIndexView.h"

#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <unistd.h>

namespace {

constexpr double Screens = 100'000;

// A frame over a bare view: the offset is a number, so the time measured
// is the frame's own.
class PlainViewer : public VKDocumentViewController {
public:
    gfx::Point contentOffset() override { return offset; }
    void setContentOffset(gfx::Point value) override { offset = value; }
    gfx::Size contentSize() override { return size; }
    ui::View* verticalScrollIndicator() override { return nullptr; }
    void loadContentView() override
    {
        setContentView(ui::View::create(view()->bounds()));
        setupNormalisedPageHeight();
        contentLoadDidSucceed();
    }
    gfx::Point offset;
    gfx::Size size;
};

std::string benchHome()
{
    return (std::filesystem::current_path() / fmt::format("document-frame-bench-{}", getpid())).string();
}

void StepAScreenAtATime(benchmark::State& state)
{
    core::RunLoop::setMainThread();
    std::string home = benchHome();
    std::filesystem::create_directories(home);
    std::atexit([] { std::filesystem::remove_all(benchHome()); });
    core::paths::setHome(home);
    ui::testing::Environment::begin(VKApplication::create());
    core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(true));
    std::string path = home + "/Long.pdf";
    std::ofstream(path) << "%PDF-1.4";

    auto viewer = std::make_shared<PlainViewer>();
    viewer->size = { 320, float(480 * Screens) };
    viewer->initWithResource(VKFileResource::resourceWithPath(path), nullptr);
    auto navigation = VKNavigationController::create(std::make_shared<ui::TableViewController>());
    auto& window = ui::testing::Environment::keyWindow();
    window->setRootViewController(navigation);
    navigation->pushViewController(viewer, false);
    core::RunLoop::main().runUntilIdle();

    float screen = viewer->contentView()->bounds().height();
    long steps = 0;
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (double y = 0; y < screen * Screens; y += screen) {
            viewer->offset = { 0, float(y) };
            viewer->currentOffsetDidChange();
            ++steps;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(viewer->currentPageNumber());
    }
    state.counters["usPerStep"] = seconds / double(steps) * 1e6;
    state.counters["pages"] = viewer->pageCount();
    bench::atMost("a step of one screen in 100,000", seconds / double(steps) * 1e3, 0.1, "ms");
    window->setRootViewController(nullptr);
    navigation.reset();
    viewer.reset();
    core::RunLoop::main().runUntilIdle();
    ui::testing::Environment::end();
}
BENCHMARK(StepAScreenAtATime)->Iterations(3)->Unit(benchmark::kMillisecond);

void LabelsForAMillionPages(benchmark::State& state)
{
    size_t labels = 0;
    for (auto _ : state) {
        auto made = VKPageIndexView::labelsForPageCount(1'000'000, 390, 11);
        labels = made.size();
        benchmark::DoNotOptimize(made.data());
    }
    state.counters["labels"] = double(labels);
    if (labels == 0)
        bench::wrongAnswer("no page index labels for 10^6 pages");
}
BENCHMARK(LabelsForAMillionPages)->Unit(benchmark::kMicrosecond);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    bench::atMost("page index labels for 10^6 pages", bench::runSeconds("LabelsForAMillionPages") * 1e6, 50, "µs");
});

} // namespace
