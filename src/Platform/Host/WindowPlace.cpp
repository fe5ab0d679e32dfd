#include "Platform/Host/WindowPlace.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ui {

namespace {

// Beyond any desktop: a setting holding more is not a frame.
constexpr long PlaceLimit = 1'000'000;

} // namespace

std::optional<gfx::Rect> WindowPlace::parse(std::string_view text)
{
    long numbers[4];
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (long& number : numbers) {
        while (at < end && *at == ' ')
            ++at;
        auto [next, failure] = std::from_chars(at, end, number);
        if (failure != std::errc() || number < -PlaceLimit || number > PlaceLimit)
            return std::nullopt;
        at = next;
    }
    while (at < end && *at == ' ')
        ++at;
    if (at != end || numbers[2] <= 0 || numbers[3] <= 0)
        return std::nullopt;
    return gfx::Rect(float(numbers[0]), float(numbers[1]), float(numbers[2]), float(numbers[3]));
}

std::string WindowPlace::format(const gfx::Rect& frame)
{
    return fmt::format("{} {} {} {}", std::lround(frame.x()), std::lround(frame.y()), std::lround(frame.width()),
        std::lround(frame.height()));
}

std::optional<gfx::Rect> WindowPlace::restore(const gfx::Rect& saved, const std::vector<gfx::Rect>& workAreas,
    gfx::Size minimum)
{
    const gfx::Rect* home = nullptr;
    float most = 0;
    for (const auto& area : workAreas) {
        if (area.isEmpty())
            continue;
        gfx::Rect common = saved.intersection(area);
        if (common.isEmpty() || common.width() < std::min(GraspWidth, saved.width())
            || common.height() < std::min(GraspHeight, saved.height()))
            continue;
        if (float size = common.width() * common.height(); size > most) {
            most = size;
            home = &area;
        }
    }
    const bool stays = home != nullptr;
    if (!home) {
        auto first = std::find_if(workAreas.begin(), workAreas.end(), [](const gfx::Rect& area) { return !area.isEmpty(); });
        if (first == workAreas.end())
            return std::nullopt;
        home = &*first;
    }
    const gfx::Rect& area = *home;
    const float width = std::min(std::max(saved.width(), minimum.width), area.width());
    const float height = std::min(std::max(saved.height(), minimum.height), area.height());
    float x = stays ? saved.x() : area.x() + std::floor((area.width() - width) / 2);
    float y = stays ? saved.y() : area.y() + std::floor((area.height() - height) / 2);
    x = std::clamp(x, area.x(), area.x() + area.width() - width);
    y = std::clamp(y, area.y(), area.y() + area.height() - height);
    return gfx::Rect(x, y, width, height);
}

} // namespace ui
