#pragma once

// A button that shows, in its normal state, the image its table gives for
// the tint colour it is set to (none for a colour not in the table).

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Button.h"

#include <memory>
#include <unordered_map>

class VKTintButton : public ui::Button {
public:
    using TintImages = std::unordered_map<gfx::Color, std::shared_ptr<gfx::Image>>;

    static std::shared_ptr<VKTintButton> create(const gfx::Rect& frame = {});

    const TintImages& tintImages() const { return m_tintImages; }
    void setTintImages(TintImages images) { m_tintImages = std::move(images); }
    void setTintColor(const gfx::Color& color);

private:
    TintImages m_tintImages;
};
