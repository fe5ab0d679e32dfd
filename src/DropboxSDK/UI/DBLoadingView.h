#pragma once

// The phone's "working" overlay: a translucent dark box with a spinner and
// a title over the whole key window, which takes no touches itself.

#include "Platform/UI/View.h"

namespace ui {
class ActivityIndicator;
class ImageView;
class Label;
}
namespace gfx {
class Image;
}

class DBLoadingView : public ui::View {
public:
    static constexpr float BoxSide = 160;
    static constexpr double FadeDuration = 0.8;

    static std::shared_ptr<DBLoadingView> initWithTitle(std::string title);

    // Adds the overlay to the key window, over its whole frame.
    void show();
    // Animated: fades out over FadeDuration, then leaves the window.
    void dismissAnimated(bool animated);
    // An image replaces the spinner.
    void setImage(std::shared_ptr<gfx::Image> image);
    // Rotates the overlay for an interface orientation (1 to 4); portrait
    // ones also move the box lower.
    int orientation() const { return m_orientation; }

    gfx::Rect boxFrame() const;
    ui::Label& titleLabel() const { return *m_titleLabel; }
    ui::ActivityIndicator& activityIndicator() const { return *m_activityIndicator; }

    void layoutSubviews() override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;

private:
    void build(std::string title);

    int m_orientation = 0;
    std::shared_ptr<ui::Label> m_titleLabel;
    std::shared_ptr<ui::ActivityIndicator> m_activityIndicator;
    std::shared_ptr<ui::ImageView> m_imageView;
};
