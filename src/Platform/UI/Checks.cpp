#include "Platform/UI/Checks.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"

#include <cmath>
#include <fmt/format.h>

namespace ui {

void requireMainThread(std::string_view what)
{
    if (core::RunLoop::hasMainThread() && core::RunLoop::main().isCurrent())
        return;
    throw core::Exception(core::Exception::InternalInconsistency, fmt::format("{} called off the main thread", what));
}

namespace {

[[noreturn]] void notFinite(std::string_view what, std::string_view value)
{
    throw core::Exception(core::Exception::InvalidArgument, fmt::format("{}: {} is not finite", what, value));
}

} // namespace

void requireFinite(float value, std::string_view what)
{
    if (!std::isfinite(value))
        notFinite(what, fmt::format("{}", value));
}

void requireFinite(gfx::Point point, std::string_view what)
{
    if (!std::isfinite(point.x) || !std::isfinite(point.y))
        notFinite(what, fmt::format("point ({}, {})", point.x, point.y));
}

void requireFinite(gfx::Size size, std::string_view what)
{
    if (!std::isfinite(size.width) || !std::isfinite(size.height))
        notFinite(what, fmt::format("size ({}, {})", size.width, size.height));
}

void requireFinite(const gfx::Rect& rect, std::string_view what)
{
    if (!std::isfinite(rect.origin.x) || !std::isfinite(rect.origin.y) || !std::isfinite(rect.size.width)
        || !std::isfinite(rect.size.height))
        notFinite(what, fmt::format("rect ({}, {}, {}, {})", rect.origin.x, rect.origin.y, rect.size.width, rect.size.height));
}

void requireFinite(const gfx::AffineTransform& t, std::string_view what)
{
    for (float v : { t.a, t.b, t.c, t.d, t.tx, t.ty })
        if (!std::isfinite(v))
            notFinite(what, fmt::format("transform [{} {} {} {} {} {}]", t.a, t.b, t.c, t.d, t.tx, t.ty));
}

} // namespace ui
