#pragma once

// A button: a title, an image and a background image per control state
// (falling back to the normal state's), laid out by overridable rectangle
// methods inside the content, title and image insets.

#include "Platform/Graphics/Color.h"
#include "Platform/UI/Control.h"
#include "Platform/UI/Images.h"

#include <map>
#include <optional>

namespace ui {

class ImageView;
class Label;

class Button : public Control {
public:
    enum class Type { Custom = 0, RoundedRect = 1, DetailDisclosure = 2, InfoLight = 3, InfoDark = 4, ContactAdd = 5 };

    static std::shared_ptr<Button> create(Type type = Type::Custom, const gfx::Rect& frame = {});
    explicit Button(Type type = Type::Custom);

    Type buttonType() const { return m_type; }

    void setTitle(std::optional<std::string> title, unsigned state);
    std::optional<std::string> titleForState(unsigned state) const;
    void setTitleColor(std::optional<gfx::Color> color, unsigned state);
    gfx::Color titleColorForState(unsigned state) const;
    void setTitleShadowColor(std::optional<gfx::Color> color, unsigned state);
    std::optional<gfx::Color> titleShadowColorForState(unsigned state) const;
    void setImage(std::shared_ptr<gfx::Image> image, unsigned state);
    std::shared_ptr<gfx::Image> imageForState(unsigned state) const;
    void setBackgroundImage(StretchableImage image, unsigned state);
    StretchableImage backgroundImageForState(unsigned state) const;

    // What the current state shows.
    std::string currentTitle() const;
    gfx::Color currentTitleColor() const;
    std::shared_ptr<gfx::Image> currentImage() const;
    StretchableImage currentBackgroundImage() const;

    Label& titleLabel() const;
    ImageView& imageView() const;

    gfx::EdgeInsets contentEdgeInsets() const { return m_contentInsets; }
    gfx::EdgeInsets titleEdgeInsets() const { return m_titleInsets; }
    void setTitleEdgeInsets(const gfx::EdgeInsets& insets);
    gfx::EdgeInsets imageEdgeInsets() const { return m_imageInsets; }
    bool adjustsImageWhenHighlighted() const { return m_adjustsImageWhenHighlighted; }
    void setAdjustsImageWhenHighlighted(bool adjusts) { m_adjustsImageWhenHighlighted = adjusts; }
    // How opaque a disabled button's image is drawn when it has no
    // image of its own for that state.
    static constexpr float DisabledImageAlpha = 0.4f;
    bool adjustsImageWhenDisabled() const { return m_adjustsImageWhenDisabled; }
    void setAdjustsImageWhenDisabled(bool adjusts)
    {
        m_adjustsImageWhenDisabled = adjusts;
        stateChanged();
    }
    bool showsTouchWhenHighlighted() const { return m_showsTouchWhenHighlighted; }
    void setShowsTouchWhenHighlighted(bool shows) { m_showsTouchWhenHighlighted = shows; }
    bool reversesTitleShadowWhenHighlighted() const { return m_reversesTitleShadow; }
    void setReversesTitleShadowWhenHighlighted(bool reverses) { m_reversesTitleShadow = reverses; }

    // Layout: the background fills the bounds; the content is the bounds
    // less the content insets; title and image sit side by side in it as
    // the alignments say.
    virtual gfx::Rect backgroundRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect contentRectForBounds(const gfx::Rect& bounds) const;
    virtual gfx::Rect titleRectForContentRect(const gfx::Rect& contentRect) const;
    virtual gfx::Rect imageRectForContentRect(const gfx::Rect& contentRect) const;

    void setEnabled(bool enabled) override;
    void setSelected(bool selected) override;
    void setHighlighted(bool highlighted) override;
    void layoutSubviews() override;
    gfx::Size sizeThatFits(gfx::Size size) const override;
    std::string debugText() const override { return currentTitle(); }

private:
    template<typename T> static std::optional<T> lookup(const std::map<unsigned, T>& table, unsigned state);
    void stateChanged();
    gfx::Size titleSize() const;
    gfx::Rect place(gfx::Size size, const gfx::Rect& rect, const gfx::EdgeInsets& insets, float offset) const;

    Type m_type;
    std::map<unsigned, std::string> m_titles;
    std::map<unsigned, gfx::Color> m_titleColors;
    std::map<unsigned, gfx::Color> m_shadowColors;
    std::map<unsigned, std::shared_ptr<gfx::Image>> m_images;
    std::map<unsigned, StretchableImage> m_backgrounds;
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<ImageView> m_imageView;
    gfx::EdgeInsets m_contentInsets;
    gfx::EdgeInsets m_titleInsets;
    gfx::EdgeInsets m_imageInsets;
    bool m_adjustsImageWhenHighlighted = true;
    bool m_adjustsImageWhenDisabled = true;
    bool m_showsTouchWhenHighlighted = false;
    bool m_reversesTitleShadow = false;
};

} // namespace ui
