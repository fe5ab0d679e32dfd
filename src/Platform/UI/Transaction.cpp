#include "Platform/UI/Transaction.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/Animation.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Transition.h"

#include <cmath>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace ui {

namespace {

// The animations a transaction added and its completion, alive until that
// ran.
struct Group : std::enable_shared_from_this<Group> {
    std::function<void()> completion;
    size_t outstanding = 0;
    bool committed = false;
    bool done = false;

    void maybeFinish()
    {
        if (!committed || outstanding > 0 || std::exchange(done, true))
            return;
        if (!completion)
            return;
        auto self = shared_from_this();
        core::RunLoop::main().performAfter(0, [self] { self->completion(); }, {}, core::RunLoop::CommonModes);
    }
};

struct Frame {
    bool implicit = false;
    std::optional<bool> disableActions;
    std::optional<double> duration;
    std::shared_ptr<Group> group = std::make_shared<Group>();
};

std::vector<Frame> frames;
uint64_t outermostId = 0;
uint64_t nextId = 1;

void openImplicit()
{
    if (!frames.empty())
        return;
    Frame frame;
    frame.implicit = true;
    frames.push_back(std::move(frame));
    outermostId = nextId++;
    core::RunLoop::main().performAfter(0, [] {
        // Commits the implicit transaction and anything left open on it.
        while (!frames.empty()) {
            bool implicit = frames.back().implicit;
            Transaction::commit();
            if (implicit)
                break;
        }
    }, {}, core::RunLoop::CommonModes);
}

template<typename T> std::optional<T> lookup(std::optional<T> Frame::*field)
{
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        if ((*it).*field)
            return (*it).*field;
    return std::nullopt;
}

Frame& top(const char* what)
{
    requireMainThread(what);
    openImplicit();
    return frames.back();
}

} // namespace

void Transaction::begin()
{
    requireMainThread("Transaction::begin");
    if (frames.empty())
        outermostId = nextId++;
    frames.emplace_back();
}

void Transaction::commit()
{
    requireMainThread("Transaction::commit");
    if (frames.empty())
        throw core::Exception(core::Exception::InternalInconsistency, "Transaction::commit without a begin");
    Frame frame = std::move(frames.back());
    frames.pop_back();
    if (frames.empty())
        outermostId = 0;
    frame.group->committed = true;
    frame.group->maybeFinish();
}

bool Transaction::disableActions()
{
    return lookup(&Frame::disableActions).value_or(false);
}

void Transaction::setDisableActions(bool disable)
{
    top("Transaction::setDisableActions").disableActions = disable;
}

double Transaction::animationDuration()
{
    return lookup(&Frame::duration).value_or(DefaultDuration);
}

void Transaction::setAnimationDuration(double seconds)
{
    top("Transaction::setAnimationDuration").duration = std::isnan(seconds) ? 0.0 : std::max(0.0, seconds);
}

void Transaction::setCompletionBlock(std::function<void()> completion)
{
    top("Transaction::setCompletionBlock").group->completion = std::move(completion);
}

uint64_t Transaction::layerBorn()
{
    // Layers made off the main thread (tile drawing) belong to no
    // transaction.
    if (!core::RunLoop::hasMainThread() || !core::Thread::isMainThread())
        return 0;
    openImplicit();
    return outermostId;
}

void Transaction::track(LayerAnimation& animation)
{
    if (frames.empty())
        return;
    // The records keep their transactions' groups until they end.
    std::vector<std::shared_ptr<Group>> groups;
    for (auto& frame : frames) {
        ++frame.group->outstanding;
        groups.push_back(frame.group);
    }
    auto previous = std::move(animation.ended);
    animation.ended = [previous = std::move(previous), groups = std::move(groups)](bool finished) {
        if (previous)
            previous(finished);
        for (auto& group : groups) {
            --group->outstanding;
            group->maybeFinish();
        }
    };
}

void Transaction::layerChanged(Layer& layer, const char* keyPath, const AnimatedValue& from, const AnimatedValue& to)
{
    if (!core::RunLoop::hasMainThread() || !core::Thread::isMainThread())
        return;
    openImplicit();
    if (disableActions() || layer.m_birthTransaction == outermostId)
        return;
    double duration = animationDuration();
    if (duration <= 0)
        return;
    auto record = std::make_shared<LayerAnimation>();
    record->keyPath = keyPath;
    record->from = from;
    record->to = to;
    record->duration = duration;
    record->timing = TimingFunction::defaultTiming();
    Animation::schedule(layer, keyPath, std::move(record));
}

void Transaction::contentsChanged(Layer& layer)
{
    if (!core::RunLoop::hasMainThread() || !core::Thread::isMainThread())
        return;
    openImplicit();
    if (disableActions() || layer.m_birthTransaction == outermostId || animationDuration() <= 0)
        return;
    Transition fade;
    fade.setDuration(animationDuration());
    fade.setTimingFunction(TimingFunction::defaultTiming());
    layer.addAnimation(fade, "contents");
}

void Transaction::resetForTesting()
{
    frames.clear();
    outermostId = 0;
}

} // namespace ui
