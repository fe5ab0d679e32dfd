#pragma once

// What the layer animations share: duration (0.25 s by default; NaN counts
// as 0), begin time on the run loop's clock (0: when added), timing, repeats,
// reversal, fill mode, whether the layer drops it at its end, and a delegate
// (held weakly) told of the start and the stop. A layer keeps a copy of what
// is added, so changing the original afterwards changes nothing.

#include "Platform/UI/Layer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace ui {

class Animation {
public:
    static constexpr double DefaultDuration = 0.25;

    virtual ~Animation();

    double duration() const { return m_duration; }
    void setDuration(double seconds);
    double beginTime() const { return m_beginTime; }
    void setBeginTime(double time) { m_beginTime = std::isfinite(time) ? time : 0; }
    const TimingFunction& timingFunction() const { return m_timing; }
    void setTimingFunction(TimingFunction timing) { m_timing = timing; }
    bool autoreverses() const { return m_autoreverses; }
    void setAutoreverses(bool autoreverses) { m_autoreverses = autoreverses; }
    float repeatCount() const { return m_repeatCount; }
    void setRepeatCount(float count) { m_repeatCount = std::isfinite(count) ? std::max(0.0f, count) : 0; }
    bool isRemovedOnCompletion() const { return m_removedOnCompletion; }
    void setRemovedOnCompletion(bool removed) { m_removedOnCompletion = removed; }
    FillMode fillMode() const { return m_fillMode; }
    void setFillMode(FillMode mode) { m_fillMode = mode; }
    std::shared_ptr<AnimationDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<AnimationDelegate> delegate) { m_delegate = std::move(delegate); }
    const std::weak_ptr<AnimationDelegate>& weakDelegate() const { return m_delegate; }

    // The record a layer keeps for this animation (values resolved against
    // the layer's model).
    std::shared_ptr<LayerAnimation> makeRecord(const Layer& layer) const;

    // Puts a record on the layer under `key` (begun now unless it says
    // otherwise), counts it towards the open transaction, ends it finished
    // when the clock passes its end and tells its delegate.
    static void schedule(Layer& layer, const std::string& key, std::shared_ptr<LayerAnimation> record,
        std::weak_ptr<AnimationDelegate> delegate = {});

protected:
    virtual void fill(LayerAnimation& record, const Layer& layer) const = 0;

private:
    double m_duration = DefaultDuration;
    double m_beginTime = 0;
    TimingFunction m_timing = TimingFunction::defaultTiming();
    bool m_autoreverses = false;
    float m_repeatCount = 0;
    bool m_removedOnCompletion = true;
    FillMode m_fillMode = FillMode::Removed;
    std::weak_ptr<AnimationDelegate> m_delegate;
};

} // namespace ui
