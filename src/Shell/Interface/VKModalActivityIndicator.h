#pragma once

// Blocks the whole window while a long task runs (the quota recount): a
// dimmed full-screen view with a dark rounded bevel in the middle that
// holds a large white spinner and a message of any number of lines. A
// long message makes the bevel taller, never wider. It places and turns
// itself for the status bar's orientation when shown.

#include "Platform/UI/View.h"

#include <memory>
#include <string>

namespace ui {
class ActivityIndicator;
class Label;
class Window;
} // namespace ui

class VKModalActivityIndicator : public ui::View {
public:
    // The bevel's least size and how far its content stands in from its
    // edges.
    static constexpr gfx::Size BevelSize { 180, 140 };
    static constexpr float BevelInset = 15;

    static std::shared_ptr<VKModalActivityIndicator> create(std::string message);
    VKModalActivityIndicator();
    ~VKModalActivityIndicator() override;

    // Takes the window's bounds (turned and short of the status bar in
    // landscape), goes in and starts the spinner.
    void showInWindow(ui::Window& window);
    // Stops the spinner and leaves the window; the view stays alive to the
    // end of the current pass.
    void dismiss();

    // The bevel, centred in the bounds.
    gfx::Rect rectForBevel() const;

    ui::Label& label() const { return *m_label; }
    ui::ActivityIndicator& activityIndicator() const { return *m_activityIndicator; }

    void layoutSubviews() override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;

private:
    std::shared_ptr<ui::Label> m_label;
    std::shared_ptr<ui::ActivityIndicator> m_activityIndicator;
};
