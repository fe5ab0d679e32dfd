#include "Viewers/PDF/VKPagingView.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/StandardColors.h"
#include "Viewers/PDF/VKPagingViewCell.h"
#include "Viewers/PDF/VKPagingViewDataSource.h"
#include "Viewers/PDF/VKPagingViewDelegate.h"

#include <algorithm>
#include <cmath>

namespace {

bool contains(core::Range range, size_t index)
{
    return range.location != core::kNotFound && index >= range.location && index - range.location < range.length;
}

} // namespace

std::shared_ptr<VKPagingView> VKPagingView::createWithCellFrame(const gfx::Rect& cellFrame, float inset)
{
    if (!std::isfinite(inset) || inset < 0)
        inset = 0;
    auto view = std::make_shared<VKPagingView>();
    view->m_inset = inset;
    view->setFrame(gfx::Rect(cellFrame.minX() - inset, cellFrame.minY(), cellFrame.width() + 2 * inset, cellFrame.height()));
    view->setPagingEnabled(true);
    view->setShowsHorizontalScrollIndicator(false);
    view->setShowsVerticalScrollIndicator(false);
    view->setBackgroundColor(ui::StandardColors::black());
    if (inset != 0)
        view->setClipsToBounds(false);
    return view;
}

std::shared_ptr<VKPagingView> VKPagingView::create(const gfx::Rect& cellFrame)
{
    return createWithCellFrame(cellFrame, DefaultInset);
}

VKPagingView::~VKPagingView()
{
    if (m_wheelRest)
        m_wheelRest->invalidate();
}

void VKPagingView::setDataSource(VKPagingViewDataSource* dataSource)
{
    m_dataSource = dataSource;
    reloadData();
}

void VKPagingView::setPagingDelegate(VKPagingViewDelegate* delegate)
{
    m_pagingDelegate = delegate;
    reloadData();
}

size_t VKPagingView::numberOfReusableCellsForTesting() const
{
    size_t count = 0;
    for (auto& [identifier, cells] : m_reusableCells)
        count += cells.size();
    return count;
}

gfx::Rect VKPagingView::frameForCellAtIndex(size_t index) const
{
    gfx::Rect b = bounds();
    float w = b.width();
    return gfx::Rect(float(index) * w + m_inset, 0, std::max(0.0f, w - 2 * m_inset), b.height());
}

void VKPagingView::reloadData()
{
    auto source = dataSource();
    m_numberOfPages = source ? source->numberOfPagesInPagingView(*this) : 0;
    gfx::Rect b = bounds();
    setContentSize({ b.width() * float(m_numberOfPages), b.height() });
    m_foremostPageIndex = core::kNotFound;
    core::Range visible = visibleRangeForContentOffset(contentOffset());
    std::vector<size_t> gone;
    for (auto& [index, cell] : m_currentCells)
        if (!contains(visible, index) || index >= m_numberOfPages)
            gone.push_back(index);
    for (size_t index : gone)
        removeCellForPageAtIndexNumber(index);
    setNeedsLayout();
}

std::shared_ptr<VKPagingViewCell> VKPagingView::dequeueReusableCellWithIdentifier(const std::string& identifier)
{
    auto it = m_reusableCells.find(identifier);
    if (it == m_reusableCells.end() || it->second.empty())
        return nullptr;
    auto cell = std::move(it->second.back());
    it->second.pop_back();
    cell->prepareForReuse();
    return cell;
}

std::shared_ptr<VKPagingViewCell> VKPagingView::currentCellForPageAtIndex(size_t index) const
{
    auto it = m_currentCells.find(index);
    return it != m_currentCells.end() ? it->second : nullptr;
}

std::shared_ptr<VKPagingViewCell> VKPagingView::cellForPageAtIndex(size_t index)
{
    if (auto cell = currentCellForPageAtIndex(index))
        return cell;
    auto source = dataSource();
    if (!source || index >= m_numberOfPages)
        return nullptr;
    auto keep = shared_from_this();
    auto cell = source->pagingViewCellForPageAtIndex(*this, index);
    if (!cell)
        return nullptr;
    m_currentCells[index] = cell;
    cell->setToolbarContentInsets(m_toolbarContentInsets);
    cell->setFrame(frameForCellAtIndex(index));
    if (auto delegate = pagingDelegate())
        delegate->pagingViewWillAddCell(*this, *cell, index);
    addSubview(cell);
    return cell;
}

void VKPagingView::removeCellForPageAtIndexNumber(size_t index)
{
    auto it = m_currentCells.find(index);
    if (it == m_currentCells.end())
        return;
    auto cell = std::move(it->second);
    m_currentCells.erase(it);
    cell->removeFromSuperview();
    if (!cell->reuseIdentifier().empty())
        m_reusableCells[cell->reuseIdentifier()].push_back(std::move(cell));
}

core::Range VKPagingView::visibleRangeForContentOffset(gfx::Point offset) const
{
    float w = bounds().width();
    size_t n = m_numberOfPages;
    float x = offset.x;
    double total = double(w) * double(n);
    if (!(w > 0) || n == 0 || !std::isfinite(x) || !(x + w > 0) || !(x < total))
        return core::Range();
    if (!(x > 0))
        return { 0, 1 };
    if (!(x + w < total))
        return { n - 1, 1 };
    double f = double(x) / double(w);
    double whole = std::floor(f);
    return { size_t(whole), f > whole ? size_t(2) : size_t(1) };
}

void VKPagingView::scrollToPageAtIndex(size_t index, std::shared_ptr<VKPagingViewCell> cell, bool animated)
{
    if (cell) {
        m_scrollToIndex = index;
        auto current = currentCellForPageAtIndex(index);
        if (current != cell) {
            if (current)
                removeCellForPageAtIndexNumber(index);
            m_currentCells[index] = cell;
            cell->setToolbarContentInsets(m_toolbarContentInsets);
            cell->setFrame(frameForCellAtIndex(index));
            if (cell->superview() != this)
                addSubview(cell);
        }
    } else {
        m_scrollToIndex = core::kNotFound;
    }
    setContentOffset({ float(index) * bounds().width(), contentOffset().y }, animated);
}

bool VKPagingView::wheelEvent(const ui::Event& event)
{
    float width = bounds().width();
    if (event.type() != ui::Event::Type::Scroll || m_numberOfPages == 0 || !isScrollEnabled() || width <= 0)
        return ui::ScrollView::wheelEvent(event);
    gfx::Point delta = event.scrollDelta();
    double now = event.timestamp();
    bool burst = m_lastWheelEvent >= 0 && now - m_lastWheelEvent < WheelRestDelay;
    m_lastWheelEvent = now;
    if (std::abs(delta.y) > std::abs(delta.x)) {
        if (!burst || (m_wheelTravel != 0 && (m_wheelTravel > 0) != (delta.y > 0)))
            m_wheelTravel = 0;
        m_wheelTravel += delta.y;
        bool turnedInBurst = m_lastWheelTurn >= 0 && burst && now - m_lastWheelTurn < WheelTurnInterval;
        if (std::abs(m_wheelTravel) < WheelPageTravel || turnedInBurst)
            return true;
        double page = std::round(contentOffset().x / width);
        double target = std::clamp(page + (m_wheelTravel > 0 ? 1 : -1), 0.0, double(m_numberOfPages - 1));
        m_wheelTravel = 0;
        if (target != page) {
            m_lastWheelTurn = now;
            scrollToPageAtIndex(size_t(target), nullptr, true);
        }
        return true;
    }
    if (!burst || m_wheelStartPage < 0)
        m_wheelStartPage = std::round(contentOffset().x / width);
    bool moved = ui::ScrollView::wheelEvent(event);
    if (m_wheelRest)
        m_wheelRest->invalidate();
    m_wheelRest = core::RunLoop::main().schedule(std::static_pointer_cast<VKPagingView>(shared_from_this()), WheelRestDelay, false, [](VKPagingView& self, core::Timer&) {
        self.wheelDidRest();
    });
    return moved;
}

void VKPagingView::wheelDidRest()
{
    m_wheelRest = nullptr;
    float width = bounds().width();
    if (width <= 0 || m_numberOfPages == 0)
        return;
    // The next page the way it moved, once a sixth of the way there.
    constexpr double Enough = 1.0 / 6;
    double page = contentOffset().x / width;
    double target;
    if (page >= m_wheelStartPage)
        target = page - std::floor(page) >= Enough ? std::floor(page) + 1 : std::floor(page);
    else
        target = std::ceil(page) - page >= Enough ? std::ceil(page) - 1 : std::ceil(page);
    target = std::clamp(target, 0.0, double(m_numberOfPages - 1));
    m_wheelStartPage = -1;
    if (std::abs(target * width - contentOffset().x) > 0.5f)
        scrollToPageAtIndex(size_t(target), nullptr, true);
}

void VKPagingView::setToolbarContentInsets(const gfx::EdgeInsets& insets)
{
    m_toolbarContentInsets = insets;
    for (auto& [index, cell] : m_currentCells)
        cell->setToolbarContentInsets(insets);
}

void VKPagingView::setFrame(const gfx::Rect& frame)
{
    gfx::Size oldSize = contentSize();
    gfx::Point oldOffset = contentOffset();
    ui::ScrollView::setFrame(frame);
    if (!(oldSize.width > 0) || !(oldSize.height > 0))
        return;
    gfx::Rect b = bounds();
    gfx::Size size { b.width() * float(m_numberOfPages), b.height() };
    setContentSize(size);
    setContentOffset({ oldOffset.x / oldSize.width * size.width, oldOffset.y });
    for (auto& [index, cell] : m_currentCells)
        cell->setFrame(frameForCellAtIndex(index));
}

void VKPagingView::layoutSubviews()
{
    ui::ScrollView::layoutSubviews();
    size_t n = m_numberOfPages;
    if (n == 0)
        return;
    auto keep = shared_from_this();
    gfx::Point offset = contentOffset();
    core::Range v = visibleRangeForContentOffset(offset);
    if (v.location != core::kNotFound) {
        size_t first = v.location >= 1 ? v.location - 1 : 0;
        size_t end = std::min(v.location + v.length + 1, n);
        std::vector<size_t> gone;
        for (auto& [index, cell] : m_currentCells)
            if ((index < first || index >= end) && index != m_scrollToIndex)
                gone.push_back(index);
        for (size_t index : gone)
            removeCellForPageAtIndexNumber(index);
    }
    core::Range last = m_lastVisibleRange;
    bool hasV = v.location != core::kNotFound && v.length > 0;
    bool hasLast = last.location != core::kNotFound && last.length > 0;
    size_t from = 0, to = 0;
    if (hasV && hasLast) {
        from = std::min(v.location, last.location);
        to = std::max(v.end(), last.end());
    } else if (hasV) {
        from = v.location, to = v.end();
    } else if (hasLast) {
        from = last.location, to = last.end();
    }
    auto delegate = pagingDelegate();
    for (size_t i = from; i < to; ++i) {
        bool wasShown = contains(last, i), shown = contains(v, i);
        if (!wasShown && shown && delegate && delegate->respondsToCellWillAppear()) {
            if (auto cell = cellForPageAtIndex(i))
                delegate->pagingViewCellWillAppear(*this, *cell, i);
        } else if (wasShown && !shown && delegate && delegate->respondsToCellDidDisappear()) {
            if (auto cell = cellForPageAtIndex(i))
                delegate->pagingViewCellDidDisappear(*this, *cell, i);
        }
    }
    if (hasV && v.length == 1 && v.location != m_lastSteadyLocation) {
        m_lastSteadyLocation = v.location;
        if (delegate)
            delegate->pagingViewDidSettleOnPageAtIndex(*this, v.location);
    }
    m_lastVisibleRange = v;
    float w = bounds().width();
    if (!(w > 0))
        return;
    double position = std::round(double(offset.x) / double(w));
    size_t foremost = position <= 0 ? 0 : std::min(size_t(position), n - 1);
    if (foremost != m_foremostPageIndex) {
        m_foremostPageIndex = foremost;
        if (delegate)
            delegate->pagingViewPageAtIndexDidBecomeForemost(*this, foremost);
    }
}
