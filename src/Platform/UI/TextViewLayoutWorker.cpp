#include "Platform/UI/TextViewLayoutWorker.h"

#include "Platform/Core/MainThread.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/ThreadPriority.h"
#include "Platform/UI/TextLayout.h"
#include "Platform/UI/TextLineCounter.h"
#include "Platform/UI/TextStorage.h"

namespace ui {

void TextViewLayoutWorker::start(std::shared_ptr<TextStorage> storage, std::shared_ptr<const TextLayout> layout,
    float width, Done done)
{
    uint64_t generation = ++m_generation;
    if (!m_wanted)
        m_wanted = std::make_shared<std::atomic<uint64_t>>(0);
    *m_wanted = generation;
    core::Thread::detach("ui.textLayout", [generation, width, wanted = m_wanted, storage = std::move(storage),
                                              layout = std::move(layout), done = std::move(done)] {
        auto stop = [&] { return wanted->load() != generation; };
        // The screen meanwhile shows an estimate: drawing it comes first.
        core::lowerCurrentThreadPriority();
        TextLineCounter counter(layout, width);
        for (;;) {
            TextStorage::Snapshot text = storage->snapshot();
            if (!counter.advance(text, stop) || stop())
                return;
            if (counter.isComplete())
                break;
            storage->waitForGrowth(text.size(), 0.05);
        }
        auto table = std::make_shared<const TextLineTable>(counter.takeTable());
        core::performOnMainThread([done, generation, width, table = std::move(table)]() mutable {
            done(generation, width, std::move(table));
        });
    });
}

void TextViewLayoutWorker::stop()
{
    if (m_wanted)
        *m_wanted = 0;
}

void TextViewLayoutWorker::runCompletions()
{
    for (auto& block : std::exchange(m_completions, {}))
        block();
}

} // namespace ui
