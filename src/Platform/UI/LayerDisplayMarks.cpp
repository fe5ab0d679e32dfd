#include "Platform/UI/LayerDisplayMarks.h"

#include <mutex>
#include <unordered_map>

namespace ui {

namespace {

std::mutex marksMutex;

std::unordered_map<const Layer*, uint64_t>& marks()
{
    static auto* table = new std::unordered_map<const Layer*, uint64_t>();
    return *table;
}

} // namespace

void LayerDisplayMarks::note(const Layer* layer)
{
    std::lock_guard lock(marksMutex);
    ++marks()[layer];
}

uint64_t LayerDisplayMarks::count(const Layer* layer)
{
    std::lock_guard lock(marksMutex);
    auto found = marks().find(layer);
    return found == marks().end() ? 0 : found->second;
}

void LayerDisplayMarks::forget(const Layer* layer)
{
    std::lock_guard lock(marksMutex);
    marks().erase(layer);
}

} // namespace ui
