// bench: tandry_platform_ui
// Tables of any size: a reload and a scroll from the top to the end in 1,000
// steps, with delegate row heights, for 10,000 and 1,000,000 rows; and a
// scroll step over 10,000 sections of 100 rows under sticky headers.
// Targets: at most 15 live cells, per-step time within 2x between the sizes
// (only the reload grows with the rows), heights asked once per row per
// reload; with sections, a step within 2x of the 1,000,000-row one (the
// stuck header is found by search) and live headers at the visible count.

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TableView.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

namespace {

long liveCells = 0;
long mostLiveCells = 0;

struct CountedCell : ui::TableViewCell {
    CountedCell() : TableViewCell(Style::Default, "row") { mostLiveCells = std::max(mostLiveCells, ++liveCells); }
    ~CountedCell() override { --liveCells; }
};

struct Rows : ui::TableViewDataSource, ui::TableViewDelegate {
    int rows = 0;
    long heightsAsked = 0;
    int numberOfRows(ui::TableView&, int) override { return rows; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("row");
        if (!cell)
            cell = std::make_shared<CountedCell>();
        cell->textLabel().setText(std::to_string(path.row));
        return cell;
    }
    std::optional<float> heightForRow(ui::TableView&, ui::IndexPath path) override
    {
        ++heightsAsked;
        return path.row % 3 == 0 ? 60.0f : 44.0f;
    }
};

// A phone-sized table over `count` rows.
std::shared_ptr<ui::TableView> makeTable(const std::shared_ptr<Rows>& rows, int count)
{
    if (!core::RunLoop::hasMainThread())
        core::RunLoop::setMainThread();
    rows->rows = count;
    auto table = ui::TableView::create({ 0, 0, 320, 460 });
    table->setDataSource(rows);
    table->setDelegate(rows);
    return table;
}

void BM_ReloadAndScroll(benchmark::State& state)
{
    auto rows = std::make_shared<Rows>();
    auto table = makeTable(rows, int(state.range(0)));
    constexpr int steps = 1000;
    long reloads = 0;
    for (auto _ : state) {
        table->setContentOffset({ 0, 0 });
        table->reloadData();
        ++reloads;
        float end = table->maximumContentOffset().y;
        for (int i = 1; i <= steps; ++i) {
            table->setContentOffset({ 0, end * float(i) / steps });
            table->layoutIfNeeded();
        }
    }
    state.counters["mostLiveCells"] = double(mostLiveCells);
    state.counters["heightsPerRowPerReload"] = double(rows->heightsAsked) / double(reloads) / double(rows->rows);
    state.counters["steps"] = benchmark::Counter(double(steps) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReloadAndScroll)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The scroll alone, after one reload: the per-step cost must not grow with
// the rows.
void scrollInSteps(benchmark::State& state, ui::TableView& table)
{
    table.reloadData();
    float end = table.maximumContentOffset().y;
    int i = 0;
    for (auto _ : state) {
        i = (i + 1) % 1000;
        table.setContentOffset({ 0, end * float(i) / 1000 });
        table.layoutIfNeeded();
    }
}

void BM_ScrollStep(benchmark::State& state)
{
    auto rows = std::make_shared<Rows>();
    scrollInSteps(state, *makeTable(rows, int(state.range(0))));
}
BENCHMARK(BM_ScrollStep)->Arg(10000)->Arg(1000000);

long liveHeaders = 0;
long mostLiveHeaders = 0;

struct CountedHeader : ui::View {
    CountedHeader() { mostLiveHeaders = std::max(mostLiveHeaders, ++liveHeaders); }
    ~CountedHeader() override { --liveHeaders; }
};

// Sections of 100 rows of the default height, each under a header.
struct Sections : Rows {
    int sections = 0;
    int numberOfSections(ui::TableView&) override { return sections; }
    std::optional<float> heightForRow(ui::TableView&, ui::IndexPath) override { return std::nullopt; }
    std::optional<std::string> titleForHeader(ui::TableView&, int) override { return std::string("Section"); }
    std::shared_ptr<ui::View> viewForHeader(ui::TableView&, int) override { return std::make_shared<CountedHeader>(); }
};

void BM_ScrollStepSections(benchmark::State& state)
{
    auto sections = std::make_shared<Sections>();
    sections->sections = int(state.range(0));
    scrollInSteps(state, *makeTable(sections, 100));
    state.counters["mostLiveHeaders"] = double(mostLiveHeaders);
}
BENCHMARK(BM_ScrollStepSections)->Arg(10000);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atMost("scroll step, 1,000,000 / 10,000 rows", runSeconds("BM_ScrollStep/1000000") / runSeconds("BM_ScrollStep/10000"),
        2, "x");
    bench::atMost("scroll step, 10,000 sections / 1,000,000 rows",
        runSeconds("BM_ScrollStepSections/10000") / runSeconds("BM_ScrollStep/1000000"), 2, "x");
    bench::atMost("most live cells", bench::runCounter("BM_ReloadAndScroll/1000000", "mostLiveCells"), 15);
    bench::atMost("row heights asked per row per reload",
        bench::runCounter("BM_ReloadAndScroll/1000000", "heightsPerRowPerReload"), 1);
    bench::figure("most live section headers", bench::runCounter("BM_ScrollStepSections/10000", "mostLiveHeaders"));
});

} // namespace
