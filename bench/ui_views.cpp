// bench: tandry_platform_ui
// View trees at scale:
// - resizing the root of a tree of 1,000 and of 10,000 autoresizing views and
//   laying it out (target: 10,000 within 12x the time of 1,000: linear);
// - hit testing down a path of depth × siblings views (target: grows with
//   depth × siblings on the path, not with the size of the tree).

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/View.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

struct Counting : ui::View {
    long* layouts = nullptr;
    void layoutSubviews() override { ++*layouts; }
};

// A tree of `count` views, ten children to a node, every view flexible in
// width and height and marking layout as it resizes.
std::shared_ptr<ui::View> makeTree(size_t count, long* layouts)
{
    auto root = ui::View::make<Counting>({ 0, 0, 320, 480 });
    root->layouts = layouts;
    std::vector<ui::View*> parents { root.get() };
    size_t made = 1;
    for (size_t next = 0; made < count; ++next) {
        ui::View* parent = parents[next];
        gfx::Rect b = parent->bounds();
        for (int i = 0; i < 10 && made < count; ++i, ++made) {
            auto child = ui::View::make<Counting>({ b.width() * 0.05f, b.height() * 0.05f, b.width() * 0.9f, b.height() * 0.9f });
            child->layouts = layouts;
            child->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
            parent->addSubview(child);
            parents.push_back(child.get());
        }
    }
    return root;
}

void BM_ResizeAndLayOut(benchmark::State& state)
{
    if (!core::RunLoop::hasMainThread())
        core::RunLoop::setMainThread();
    long layouts = 0;
    auto root = makeTree(size_t(state.range(0)), &layouts);
    bool landscape = false;
    for (auto _ : state) {
        landscape = !landscape;
        root->setFrame(landscape ? gfx::Rect { 0, 0, 480, 300 } : gfx::Rect { 0, 0, 320, 480 });
        root->layoutIfNeeded();
    }
    state.counters["layouts/iteration"] = double(layouts) / double(state.iterations());
}
BENCHMARK(BM_ResizeAndLayOut)->Arg(1000)->Arg(10000);

// A path `depth` views deep, each level with `siblings` views side by side;
// the point lies under the last sibling of each level.
void BM_HitTest(benchmark::State& state)
{
    if (!core::RunLoop::hasMainThread())
        core::RunLoop::setMainThread();
    const int depth = int(state.range(0)), siblings = int(state.range(1));
    auto root = ui::View::create({ 0, 0, 320, 480 });
    ui::View* parent = root.get();
    for (int level = 0; level < depth; ++level) {
        std::shared_ptr<ui::View> last;
        for (int i = 0; i < siblings; ++i) {
            last = ui::View::create({ 0, 0, 320, 480 });
            parent->addSubview(last);
        }
        parent = last.get();
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(root->hitTest({ 10, 10 }));
}
BENCHMARK(BM_HitTest)->Args({ 10, 10 })->Args({ 20, 10 })->Args({ 10, 100 });

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("resize and layout, 10,000 / 1,000 views",
        runSeconds("BM_ResizeAndLayOut/10000") / runSeconds("BM_ResizeAndLayOut/1000"), 12, "x");
    bench::figure("hit test, depth 20 / 10", runSeconds("BM_HitTest/20/10") / runSeconds("BM_HitTest/10/10"), "x");
    bench::figure("hit test, 100 / 10 siblings", runSeconds("BM_HitTest/10/100") / runSeconds("BM_HitTest/10/10"), "x");
});

} // namespace
