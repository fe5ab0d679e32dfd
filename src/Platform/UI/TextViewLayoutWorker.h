#pragma once

// The worker that counts the lines of a large text for its text view. Each
// count has a generation: a newer one, or stop(), makes an older count
// stale, and a stale worker stops at its next step. The worker follows the
// storage as it grows, so the count ends just after the text does, and
// hands the view a TextLineTable on the main thread. It also holds the
// blocks waiting for the view's layout to be complete. Owned by the view.

#include "Platform/UI/TextLineTable.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ui {

class TextLayout;
class TextStorage;

class TextViewLayoutWorker {
public:
    using Done = std::function<void(uint64_t generation, float width, std::shared_ptr<const TextLineTable> table)>;

    TextViewLayoutWorker() = default;
    TextViewLayoutWorker(const TextViewLayoutWorker&) = delete;
    TextViewLayoutWorker& operator=(const TextViewLayoutWorker&) = delete;
    ~TextViewLayoutWorker() { stop(); }

    // Counts `storage` wrapped to `width` by `layout`; `done` runs on the
    // main thread with the count (if it is still wanted then).
    void start(std::shared_ptr<TextStorage> storage, std::shared_ptr<const TextLayout> layout, float width, Done done);
    bool isCurrent(uint64_t generation) const { return generation == m_generation; }
    // A worker still counting stops.
    void stop();

    void addCompletion(std::function<void()> block) { m_completions.push_back(std::move(block)); }
    void runCompletions();

private:
    uint64_t m_generation = 0;
    // The generation a worker's count must still have to be wanted.
    std::shared_ptr<std::atomic<uint64_t>> m_wanted;
    std::vector<std::function<void()>> m_completions;
};

} // namespace ui
