#include "App/FolderBrowser/VKFolderScrollMemory.h"

#include "Platform/Core/Path.h"
#include "Platform/Core/Value.h"
#include "Platform/UI/ScrollView.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Offsets by folder ("~/Documents/Work").
std::map<std::string, float>& scrollOffsetsByFolder()
{
    static std::map<std::string, float> offsets;
    return offsets;
}

std::string scrollOffsetKey(const std::string& folderPath)
{
    return core::path::abbreviatingWithTildeInPath(folderPath);
}

} // namespace

VKFolderScrollMemory::VKFolderScrollMemory(const std::string& folderPath)
    : m_key(scrollOffsetKey(folderPath))
{
}

std::optional<float> VKFolderScrollMemory::stored(const std::string& folderPath)
{
    auto& offsets = scrollOffsetsByFolder();
    auto found = offsets.find(scrollOffsetKey(folderPath));
    return found == offsets.end() ? std::nullopt : std::optional<float>(found->second);
}

void VKFolderScrollMemory::forgetAllForTesting()
{
    scrollOffsetsByFolder().clear();
}

void VKFolderScrollMemory::store(const ui::ScrollView& list, float barHeight)
{
    m_restoredFraction.reset();
    float y = list.contentOffset().y;
    if (!std::isfinite(y) || y <= barHeight)
        scrollOffsetsByFolder().erase(m_key);
    else
        scrollOffsetsByFolder()[m_key] = y;
}

void VKFolderScrollMemory::scrollBack(ui::ScrollView& list, float floor, float barsHeight)
{
    float scrollable = list.contentSize().height - list.bounds().height();
    float kept = 0;
    if (m_restoredFraction && scrollable > 0) {
        kept = *m_restoredFraction * scrollable;
        m_restoredFraction.reset();
    } else {
        auto& offsets = scrollOffsetsByFolder();
        auto found = offsets.find(m_key);
        kept = found == offsets.end() ? 0.0f : found->second;
    }
    float y = std::max(kept, floor);
    y = std::min(y, list.contentSize().height - (list.bounds().height() - barsHeight));
    if (y > 0)
        list.setContentOffset({ 0, y });
}

float VKFolderScrollMemory::fraction(const ui::ScrollView& list, float barHeight)
{
    float maximum = list.contentSize().height - list.bounds().height();
    if (maximum <= 0)
        return 0;
    float offset = list.contentOffset().y;
    if (offset < barHeight)
        offset = 0;
    return std::clamp(offset / maximum, 0.0f, 1.0f);
}

void VKFolderScrollMemory::scrollToFraction(ui::ScrollView& list, float fraction)
{
    if (!std::isfinite(fraction))
        return;
    float maximum = std::max(0.0f, list.contentSize().height - list.bounds().height());
    list.setContentOffset({ list.contentOffset().x, maximum * std::clamp(fraction, 0.0f, 1.0f) });
}

core::Value VKFolderScrollMemory::state(float fraction)
{
    return core::Value(core::Value::Dictionary { { StateKey, core::Value(double(fraction)) } });
}

std::optional<float> VKFolderScrollMemory::restore(const core::Value& state)
{
    if (!state.isDictionary())
        return std::nullopt;
    const core::Value& value = state[StateKey];
    if (!value.isNumber() || !std::isfinite(value.toReal()))
        return std::nullopt;
    m_restoredFraction = float(std::clamp(value.toReal(), 0.0, 1.0));
    return m_restoredFraction;
}
