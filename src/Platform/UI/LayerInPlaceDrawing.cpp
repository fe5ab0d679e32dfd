#include "Platform/UI/LayerInPlaceDrawing.h"

#include <mutex>
#include <unordered_set>

namespace ui {

namespace {

std::mutex layersMutex;

std::unordered_set<const Layer*>& layers()
{
    static auto* table = new std::unordered_set<const Layer*>();
    return *table;
}

} // namespace

void LayerInPlaceDrawing::mark(const Layer* layer)
{
    std::lock_guard lock(layersMutex);
    layers().insert(layer);
}

bool LayerInPlaceDrawing::contains(const Layer* layer)
{
    std::lock_guard lock(layersMutex);
    return layers().count(layer) > 0;
}

void LayerInPlaceDrawing::forget(const Layer* layer)
{
    std::lock_guard lock(layersMutex);
    layers().erase(layer);
}

} // namespace ui
