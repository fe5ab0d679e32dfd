#include "Platform/UI/ScreenWindows.h"

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"

#include <map>

namespace ui {

namespace {

// Window → its screen, for the windows put on another screen; main thread
// only, like the windows. A window that goes takes its entry with it, also
// one held by a static that outlives this table (never destroyed).
std::map<const Window*, std::weak_ptr<Screen>>& placements()
{
    static auto* table = new std::map<const Window*, std::weak_ptr<Screen>>;
    return *table;
}

} // namespace

std::shared_ptr<Screen> screenOfWindow(const Window& window)
{
    auto found = placements().find(&window);
    return found == placements().end() ? nullptr : found->second.lock();
}

void setScreenOfWindow(Window& window, const std::shared_ptr<Screen>& screen)
{
    if (screen && !screen->isMain())
        placements()[&window] = screen;
    else
        placements().erase(&window);
    window.setFrame(screen ? screen->bounds() : Screen::main()->bounds());
}

bool isOnMainScreen(const Window& window)
{
    auto screen = screenOfWindow(window);
    return !screen || screen->isMain();
}

void forgetScreenOfWindow(const Window* window)
{
    placements().erase(window);
}

std::vector<std::shared_ptr<Window>> windowsOnScreen(const Screen& screen)
{
    std::vector<std::shared_ptr<Window>> windows;
    for (auto& [window, placed] : placements())
        if (placed.lock().get() == &screen)
            if (auto shared = std::static_pointer_cast<Window>(const_cast<Window*>(window)->shared_from_this()))
                windows.push_back(std::move(shared));
    std::stable_sort(windows.begin(), windows.end(), [](auto& a, auto& b) { return a->windowLevel() > b->windowLevel(); });
    return windows;
}

std::unique_ptr<gfx::BitmapContext> renderScreenImage(const Screen& screen, const RenderOptions& options, core::Error* error)
{
    if (screen.isMain())
        return Renderer::renderScreenImage(options, error);
    gfx::Rect bounds = screen.bounds();
    auto context = gfx::makeImageContext(bounds.size, options.scale);
    if (!context) {
        core::setError(error, core::Error("RendererErrorDomain", 1, "The screen's picture cannot be made."));
        return nullptr;
    }
    // Black where no window covers, as a display shows.
    context->setFillColor(gfx::Color::white(0));
    context->fillRect({ 0, 0, bounds.width(), bounds.height() });
    auto windows = windowsOnScreen(screen);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        Window& window = **it;
        if (window.isHidden())
            continue;
        window.layoutIfNeeded();
        context->saveGState();
        gfx::Rect frame = window.frame();
        context->translateCTM(frame.x() - bounds.x(), frame.y() - bounds.y());
        Renderer::render(window, *context, options);
        context->restoreGState();
    }
    return context;
}

bool renderScreenToPNG(const Screen& screen, const std::string& path, const RenderOptions& options, core::Error* error)
{
    auto image = renderScreenImage(screen, options, error);
    return image && image->writePNG(path, error);
}

} // namespace ui
