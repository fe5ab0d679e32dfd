#include "Platform/Graphics/Screen.h"

#include <cmath>
#include <mutex>

namespace gfx {

namespace {

constexpr Rect kDefaultBounds(0, 0, 320, 480);
constexpr float kDefaultScale = 2;

std::mutex mutex;
Rect currentBounds = kDefaultBounds;
float currentScale = kDefaultScale;

} // namespace

Screen& Screen::main()
{
    static Screen screen;
    return screen;
}

Rect Screen::bounds() const
{
    std::lock_guard lock(mutex);
    return currentBounds;
}

float Screen::scale() const
{
    std::lock_guard lock(mutex);
    return currentScale;
}

Size Screen::pixelSize() const
{
    std::lock_guard lock(mutex);
    return { currentBounds.width() * currentScale, currentBounds.height() * currentScale };
}

void Screen::setBounds(const Rect& bounds)
{
    std::lock_guard lock(mutex);
    currentBounds = bounds;
}

void Screen::setScale(float scale)
{
    if (!std::isfinite(scale) || scale <= 0)
        return;
    std::lock_guard lock(mutex);
    currentScale = scale;
}

void Screen::reset()
{
    std::lock_guard lock(mutex);
    currentBounds = kDefaultBounds;
    currentScale = kDefaultScale;
}

} // namespace gfx
