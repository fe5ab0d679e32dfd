#pragma once

// Layer transactions: what a standalone layer's animatable changes do. Every
// change happens inside one: an explicit begin/commit pair (nesting; inner
// settings shadow outer ones) or the implicit one that opens with the first
// change of a main-loop pass and commits at its end. Inside, a changed
// property of a standalone layer gets an implicit animation of the
// transaction's duration in the default timing unless actions are disabled;
// a layer made in the same transaction does not animate. A view's layer never
// animates here (view animation blocks do that). The completion block runs
// when every animation added within the transaction has ended, or on the
// next pass when there were none. Main thread only.

#include "Platform/UI/Layer.h"

#include <cstdint>
#include <functional>

namespace ui {

class Transaction {
public:
    static constexpr double DefaultDuration = 0.25;

    static void begin();
    // Throws NSInternalInconsistencyException without an explicit begin.
    static void commit();

    static bool disableActions();
    static void setDisableActions(bool disable);
    static double animationDuration();
    // NaN and negative durations count as 0.
    static void setAnimationDuration(double seconds);
    static void setCompletionBlock(std::function<void()> completion);

    // Called by layers: the transaction a new layer is born in, and the
    // changes to animate.
    static uint64_t layerBorn();
    static void layerChanged(Layer& layer, const char* keyPath, const AnimatedValue& from, const AnimatedValue& to);
    static void contentsChanged(Layer& layer);
    // Counts an animation added while a transaction is open towards its
    // completion.
    static void track(LayerAnimation& animation);

    // Drops open transactions (test environment).
    static void resetForTesting();
};

} // namespace ui
