#pragma once

// View animations: begin/commit blocks and the block form. Inside a block the
// view setters apply their final values at once and leave a keyed animation
// record on the layer; the block's will-start and did-stop handlers (and the
// block form's completion) run from the main run loop when its clock reaches
// them, never inside the call that committed. A record replaced by a newer
// one of the same property ends unfinished. Main thread only.

#include "Platform/Core/Value.h"
#include "Platform/UI/Layer.h"

#include <functional>
#include <string>

namespace ui {

class ViewAnimation {
public:
    enum class Curve { EaseInOut = 0, EaseIn = 1, EaseOut = 2, Linear = 3 };
    // The block form's option bits (device numbers).
    enum Options : unsigned {
        LayoutSubviews = 1u << 0,
        AllowUserInteraction = 1u << 1,
        BeginFromCurrentState = 1u << 2,
        Repeat = 1u << 3,
        Autoreverse = 1u << 4,
        CurveEaseInOut = 0u << 16,
        CurveEaseIn = 1u << 16,
        CurveEaseOut = 2u << 16,
        CurveLinear = 3u << 16,
    };
    static constexpr double DefaultDuration = 0.2;

    using DidStopHandler = std::function<void(const std::string& name, bool finished, const core::Value& context)>;

    static void begin(std::string name = {}, core::Value context = {});
    // Throws NSInternalInconsistencyException without a begun block.
    static void commit();
    static void setDuration(double seconds);
    static void setDelay(double seconds);
    static void setCurve(Curve curve);
    // A property that is already animating starts from what it shows now
    // instead of its previous model value.
    static void setBeginsFromCurrentState(bool fromCurrent);
    static void setDidStopHandler(DidStopHandler handler);

    static bool areAnimationsEnabled();

    static void animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
        std::function<void(bool finished)> completion = {});
    static void animate(double duration, const std::function<void()>& animations,
        std::function<void(bool finished)> completion = {});
    // Runs `changes` with animations off.
    static void performWithoutAnimation(const std::function<void()>& changes);

    // Called by the view setters: whether a block records now, and the
    // change of one layer property.
    static bool isRecording();
    static void record(Layer& layer, const std::string& keyPath, AnimatedValue from, AnimatedValue to);

    // Drops open blocks and turns animations back on (test environment).
    static void resetForTesting();
};

} // namespace ui
