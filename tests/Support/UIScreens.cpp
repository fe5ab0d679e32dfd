#include "Support/UIScreens.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Testing/Driver.h"
#include "Platform/UI/Window.h"

#include <filesystem>
#include <vector>
#include <gtest/gtest.h>

namespace test {

void useDeviceScreen(ui::Window& window, const DeviceScreen& device)
{
    if (device.tablet)
        core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    gfx::Screen::main().setBounds({ 0, 0, device.size.width, device.size.height });
    gfx::Screen::main().setScale(device.scale);
    window.setFrame({ 0, 0, device.size.width, device.size.height });
}

namespace {

// The labels a person can see: shown, with text, and not scrolled or
// clipped wholly out of sight. `clip` is the part of the window the views
// above may draw in.
struct ShownLabel {
    const ui::Label* label;
    gfx::Rect frame; // of its text, in the window
    bool clipped;    // cut by a view above it that clips
};

void collectLabels(const ui::View& view, const ui::Window& window, const gfx::Rect& clip, bool clipped,
    std::vector<ShownLabel>& labels)
{
    if (view.isHidden() || view.alpha() <= 0.01f)
        return;
    const gfx::Rect frame = view.convertRect(view.bounds(), &window);
    if (auto* label = dynamic_cast<const ui::Label*>(&view); label && !label->text().empty()) {
        // Where its text is drawn, not the room around it.
        const gfx::Rect text = view.convertRect(label->textRectForBounds(view.bounds(), label->numberOfLines()), &window);
        if (text.intersects(clip))
            labels.push_back({ label, text, clipped || !clip.contains(text) });
    }
    gfx::Rect inner = clip;
    if (view.clipsToBoundsForTesting() && &view != &window) {
        inner = clip.intersection(frame);
        clipped = true;
    }
    for (const auto& subview : view.subviews())
        collectLabels(*subview, window, inner, clipped, labels);
}

// What a person sees laid out: every shown label whole inside its window
// (unless a scrolling or clipping view cuts it on purpose), and no two
// labels side by side in one view over each other.
void expectLaidOut(const std::string& name)
{
    auto application = ui::Application::shared();
    if (!application)
        return;
    for (const auto& window : application->windows()) {
        if (window->isHidden())
            continue;
        std::vector<ShownLabel> labels;
        const gfx::Rect bounds = window->bounds();
        collectLabels(*window, *window, bounds, false, labels);
        for (size_t i = 0; i < labels.size(); ++i) {
            const auto& one = labels[i];
            EXPECT_TRUE(one.clipped || bounds.insetBy(-0.5f, -0.5f).contains(one.frame))
                << name << ": \"" << one.label->text() << "\" leaves the window";
            for (size_t j = i + 1; j < labels.size(); ++j) {
                const auto& other = labels[j];
                if (one.label->superview() != other.label->superview())
                    continue;
                const auto overlap = one.frame.intersection(other.frame);
                EXPECT_FALSE(!overlap.isEmpty() && overlap.size.width > 1 && overlap.size.height > 1)
                    << name << ": \"" << one.label->text() << "\" lies over \"" << other.label->text() << "\"";
            }
        }
    }
}

} // namespace

void saveScreen(ui::testing::Driver& driver, const std::string& directory, const std::string& name, float scale)
{
    expectLaidOut(name);
    std::filesystem::create_directories(directory);
    ui::testing::Driver::ScreenshotOptions options;
    options.scale = scale;
    options.realText = true;
    core::Error error;
    EXPECT_TRUE(driver.screenshot(directory + "/" + name + ".png", options, &error)) << error.localizedDescription();
}

} // namespace test
