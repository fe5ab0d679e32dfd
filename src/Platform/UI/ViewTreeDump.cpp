#include "Platform/UI/ViewTreeDump.h"

#include "Platform/UI/Application.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

namespace ui {

namespace {

void dumpTree(const View& view, int depth, std::string& out)
{
    out += std::string(size_t(depth) * 2, ' ') + ViewTreeDump::line(view) + "\n";
    for (auto& subview : view.subviews())
        dumpTree(*subview, depth + 1, out);
}

} // namespace

std::string ViewTreeDump::line(const View& view)
{
    gfx::Rect f = view.frame();
    std::string line = fmt::format("{} ({:g}, {:g}, {:g}, {:g})", view.className(), f.x(), f.y(), f.width(), f.height());
    if (view.isHidden())
        line += " hidden";
    if (view.alpha() < 1)
        line += fmt::format(" alpha={:g}", view.alpha());
    if (!view.isUserInteractionEnabled())
        line += " no-interaction";
    if (view.isFirstResponder())
        line += " first-responder";
    if (view.tag() != 0)
        line += fmt::format(" tag={}", view.tag());
    std::string text = view.debugText();
    if (!text.empty())
        line += fmt::format(" \"{}\"", text);
    return line;
}

std::string ViewTreeDump::dump()
{
    if (auto* application = Application::shared())
        application->layoutPendingViews();
    std::string out;
    for (auto& window : Window::windowsFrontToBack())
        dumpTree(*window, 0, out);
    return out;
}

} // namespace ui
