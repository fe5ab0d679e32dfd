#include "Viewers/Image/VKImageDownloadOverlay.h"

#include "Shell/Interface/VKPlaceholderView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/ViewAnimation.h"

void VKImageDownloadOverlay::prepare(VKPlaceholderView& placeholder)
{
    placeholder.setBackgroundColor(gfx::Color::white(0));
    if (auto* label = placeholder.label())
        label->setBackgroundColor(gfx::Color::white(0, 0));
}

void VKImageDownloadOverlay::show(VKPlaceholderView& placeholder)
{
    placeholder.setLabelHidden(false);
    placeholder.setProgressViewHidden(false);
    auto* label = placeholder.label();
    label->setBackgroundColor(gfx::Color::white(0, 0));
    label->setTextColor(gfx::Color::white(1));
    label->setShadowColor(gfx::Color::white(0.67f));
}

void VKImageDownloadOverlay::hide(VKPlaceholderView& placeholder)
{
    placeholder.setLabelHidden(true);
    placeholder.setProgressViewHidden(true);
}

void VKImageDownloadOverlay::placeOver(VKPlaceholderView& placeholder, const ui::View& content, const std::string& name)
{
    placeholder.label()->setText(name);
    placeholder.setCancelButtonHidden(true);
    placeholder.layoutIfNeeded();
    // Over the picture: the transparent placeholder shows through.
    if (content.superview() == &placeholder) {
        placeholder.bringSubviewToFront(placeholder.label());
        placeholder.bringSubviewToFront(placeholder.progressView());
    }
}

void VKImageDownloadOverlay::slideIn(VKPlaceholderView& placeholder, bool fromRight, double duration)
{
    auto* label = placeholder.label();
    auto* progress = placeholder.progressView();
    float width = placeholder.bounds().width() * (fromRight ? 1 : -1);
    gfx::Point labelCentre = label->center();
    gfx::Point progressCentre = progress->center();
    label->setCenter({ labelCentre.x + width, labelCentre.y });
    progress->setCenter({ progressCentre.x + width, progressCentre.y });
    ui::ViewAnimation::begin();
    ui::ViewAnimation::setDuration(duration);
    label->setCenter(labelCentre);
    progress->setCenter(progressCentre);
    ui::ViewAnimation::commit();
}
