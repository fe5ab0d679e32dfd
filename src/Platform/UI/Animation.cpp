#include "Platform/UI/Animation.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Transaction.h"

#include <cmath>

namespace ui {

Animation::~Animation() = default;

void Animation::setDuration(double seconds)
{
    m_duration = std::isnan(seconds) ? 0.0 : std::max(0.0, seconds);
}

std::shared_ptr<LayerAnimation> Animation::makeRecord(const Layer& layer) const
{
    auto record = std::make_shared<LayerAnimation>();
    record->beginTime = m_beginTime;
    record->duration = std::isfinite(m_duration) ? m_duration : 0;
    record->timing = m_timing;
    record->autoreverses = m_autoreverses;
    record->repeatCount = m_repeatCount;
    record->removedOnCompletion = m_removedOnCompletion;
    record->fillMode = m_fillMode;
    fill(*record, layer);
    return record;
}

void Animation::schedule(Layer& layer, const std::string& key, std::shared_ptr<LayerAnimation> record,
    std::weak_ptr<AnimationDelegate> delegate)
{
    auto& loop = core::RunLoop::main();
    double now = loop.clock()->monotonic();
    if (record->beginTime <= 0)
        record->beginTime = now;
    if (auto told = delegate.lock()) {
        record->ended = [delegate, key](bool finished) {
            if (auto d = delegate.lock())
                d->animationDidStop(key, finished);
        };
    }
    Transaction::track(*record);

    std::weak_ptr<Layer> weakLayer = std::static_pointer_cast<Layer>(layer.shared_from_this());
    std::weak_ptr<LayerAnimation> weakRecord = record;
    layer.addAnimation(record, key);

    double startDelay = std::max(0.0, record->beginTime - now);
    loop.performAfter(startDelay, [weakLayer, weakRecord, delegate, key] {
        auto layer = weakLayer.lock();
        auto record = weakRecord.lock();
        if (layer && record && layer->animationForKey(key) == record)
            if (auto d = delegate.lock())
                d->animationDidStart(key);
    }, {}, core::RunLoop::CommonModes);
    loop.performAfter(startDelay + record->activeDuration(), [weakLayer, weakRecord] {
        auto record = weakRecord.lock();
        if (!record)
            return;
        auto layer = weakLayer.lock();
        if (layer && record->removedOnCompletion)
            layer->finishAnimation(record, true);
        else
            record->end(true);
    }, {}, core::RunLoop::CommonModes);
}

} // namespace ui
