#include "Platform/UI/ViewAnimation.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Checks.h"

#include <utility>
#include <cmath>
#include <memory>
#include <vector>

namespace ui {

namespace {


// One committed block: its records and handlers, alive until its stop
// handlers ran (held by the run loop's performs in the meantime).
struct AnimationGroup : std::enable_shared_from_this<AnimationGroup> {
    std::string name;
    core::Value context;
    ViewAnimation::DidStopHandler didStop;
    std::function<void(bool)> completion;
    std::vector<std::pair<std::weak_ptr<Layer>, std::shared_ptr<LayerAnimation>>> records;
    size_t outstanding = 0;
    bool allFinished = true;
    bool stopped = false;

    void recordEnded(bool finished)
    {
        if (!finished)
            allFinished = false;
        if (outstanding > 0 && --outstanding == 0)
            scheduleStop();
    }

    void scheduleStop()
    {
        auto self = shared_from_this();
        core::RunLoop::main().performAfter(0, [self] { self->stop(); });
    }

    void stop()
    {
        if (std::exchange(stopped, true))
            return;
        if (didStop)
            didStop(name, allFinished, context);
        if (completion)
            completion(allFinished);
    }

    void endRecords()
    {
        for (auto& [weakLayer, animation] : records) {
            if (auto layer = weakLayer.lock())
                layer->finishAnimation(animation, true);
            else
                animation->end(true);
        }
    }
};

struct PendingChange {
    std::weak_ptr<Layer> layer;
    std::string keyPath;
    AnimatedValue from;
    AnimatedValue to;
};

struct Block {
    std::string name;
    core::Value context;
    double duration = ViewAnimation::DefaultDuration;
    double delay = 0;
    ViewAnimation::Curve curve = ViewAnimation::Curve::EaseInOut;
    bool fromCurrentState = false;
    ViewAnimation::DidStopHandler didStop;
    std::function<void(bool)> completion;
    std::vector<PendingChange> changes;
};

std::vector<Block> blocks;
bool animationsEnabled = true;

Block& currentBlock(const char* what)
{
    requireMainThread(what);
    if (blocks.empty())
        throw core::Exception(core::Exception::InternalInconsistency,
            std::string(what) + " called outside an animation block");
    return blocks.back();
}

} // namespace

void ViewAnimation::begin(std::string name, core::Value context)
{
    requireMainThread("ViewAnimation::begin");
    Block block;
    block.name = std::move(name);
    block.context = std::move(context);
    blocks.push_back(std::move(block));
}

void ViewAnimation::commit()
{
    Block block = std::move(currentBlock("ViewAnimation::commit"));
    blocks.pop_back();

    auto group = std::make_shared<AnimationGroup>();
    group->name = block.name;
    group->context = block.context;
    group->didStop = std::move(block.didStop);
    group->completion = std::move(block.completion);

    auto& loop = core::RunLoop::main();
    double now = loop.clock()->monotonic();
    bool animates = animationsEnabled && (block.duration > 0 || block.delay > 0);
    std::weak_ptr<AnimationGroup> weakGroup = group;
    if (animates) {
        for (auto& change : block.changes) {
            auto layer = change.layer.lock();
            if (!layer)
                continue;
            auto animation = std::make_shared<LayerAnimation>();
            animation->keyPath = change.keyPath;
            animation->from = change.from;
            // From where a running animation of the property shows it now,
            // so that a reversal does not jump to the old end value.
            if (block.fromCurrentState)
                if (auto running = layer->animationForKey(change.keyPath))
                    animation->from = running->valueAt(now, change.from);
            animation->to = change.to;
            animation->beginTime = now + std::max(0.0, block.delay);
            animation->duration = std::max(0.0, block.duration);
            animation->curve = int(block.curve);
            animation->ended = [weakGroup](bool finished) {
                if (auto group = weakGroup.lock())
                    group->recordEnded(finished);
            };
            group->records.emplace_back(layer, animation);
            ++group->outstanding;
        }
        // Records first, then the layers: replacing an older record ends it.
        for (auto& [weakLayer, animation] : group->records)
            if (auto layer = weakLayer.lock())
                layer->addAnimation(animation, animation->keyPath);
    }
    if (group->records.empty()) {
        group->scheduleStop();
        return;
    }
    loop.performAfter(block.delay + block.duration, [group] { group->endRecords(); });
}

void ViewAnimation::setDuration(double seconds)
{
    currentBlock("ViewAnimation::setDuration").duration = std::max(0.0, std::isnan(seconds) ? 0.0 : seconds);
}

void ViewAnimation::setDelay(double seconds)
{
    currentBlock("ViewAnimation::setDelay").delay = std::max(0.0, std::isnan(seconds) ? 0.0 : seconds);
}

void ViewAnimation::setCurve(Curve curve)
{
    currentBlock("ViewAnimation::setCurve").curve = curve;
}

void ViewAnimation::setBeginsFromCurrentState(bool fromCurrent)
{
    currentBlock("ViewAnimation::setBeginsFromCurrentState").fromCurrentState = fromCurrent;
}

void ViewAnimation::setDidStopHandler(DidStopHandler handler)
{
    currentBlock("ViewAnimation::setDidStopHandler").didStop = std::move(handler);
}

bool ViewAnimation::areAnimationsEnabled()
{
    return animationsEnabled;
}

void ViewAnimation::animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
    std::function<void(bool finished)> completion)
{
    if (!animations)
        throw core::Exception(core::Exception::InvalidArgument, "ViewAnimation::animate: no animations");
    begin();
    setDuration(duration);
    setDelay(delay);
    setCurve(Curve((options >> 16) & 3));
    setBeginsFromCurrentState(options & BeginFromCurrentState);
    blocks.back().completion = std::move(completion);
    try {
        animations();
    } catch (...) {
        blocks.pop_back();
        throw;
    }
    commit();
}

void ViewAnimation::animate(double duration, const std::function<void()>& animations,
    std::function<void(bool finished)> completion)
{
    animate(duration, 0, 0, animations, std::move(completion));
}

void ViewAnimation::performWithoutAnimation(const std::function<void()>& changes)
{
    bool was = std::exchange(animationsEnabled, false);
    try {
        changes();
    } catch (...) {
        animationsEnabled = was;
        throw;
    }
    animationsEnabled = was;
}

bool ViewAnimation::isRecording()
{
    return !blocks.empty() && animationsEnabled;
}

void ViewAnimation::record(Layer& layer, const std::string& keyPath, AnimatedValue from, AnimatedValue to)
{
    if (!isRecording())
        return;
    auto& changes = blocks.back().changes;
    auto shared = std::static_pointer_cast<Layer>(layer.shared_from_this());
    for (auto& change : changes) {
        if (change.keyPath == keyPath && change.layer.lock() == shared) {
            change.to = std::move(to);
            return;
        }
    }
    changes.push_back({ shared, keyPath, std::move(from), std::move(to) });
}

void ViewAnimation::resetForTesting()
{
    blocks.clear();
    animationsEnabled = true;
}

} // namespace ui
