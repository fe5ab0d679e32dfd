#include "Viewers/AudioPlayer/VKAudioPlayerView.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ViewAnimation.h"
#include "Viewers/AudioPlayer/VKAudioSlider.h"
#include "Viewers/AudioPlayer/VKVolumeView.h"

#include <cmath>

namespace {

// The layout's measures, in points, for a view of any size: the time row
// and the button row under it at the top, the volume row at the bottom.
constexpr float Margin = 10;
constexpr float RowHeight = 44;
constexpr float TimeLabelWidth = 50;
constexpr float TimeLabelHeight = 20;
constexpr float TrackNameHeight = 24;

std::shared_ptr<ui::Label> whiteLabel(const gfx::Rect& frame, const gfx::Font& font, gfx::TextAlignment alignment)
{
    auto label = ui::Label::create(frame);
    label->setFont(font);
    label->setTextColor(gfx::Color::white(1));
    label->setBackgroundColor(gfx::Color::white(0, 0));
    label->setTextAlignment(alignment);
    return label;
}

} // namespace

VKAudioPlayerView::~VKAudioPlayerView() = default;

std::shared_ptr<VKAudioPlayerView> VKAudioPlayerView::create(const gfx::Rect& frame)
{
    auto view = View::make<VKAudioPlayerView>(frame);
    view->commonInit();
    view->buildLayout();
    view->awakeFromNib();
    return view;
}

void VKAudioPlayerView::commonInit()
{
    std::weak_ptr<VKAudioPlayerView> weak = sharedAs<VKAudioPlayerView>();
    m_orientationObservation = core::NotificationCenter::defaultCenter().observe(
        ui::Application::willChangeStatusBarOrientationNotification, nullptr,
        [weak](const ui::Application::OrientationChange& change) {
            if (auto self = weak.lock())
                self->orientationWillChange(change.orientation);
        });
    auto* application = ui::Application::shared();
    setBackgroundForLandscape(application && ui::isLandscape(application->statusBarOrientation()));
}

void VKAudioPlayerView::setNotice(const std::string& text)
{
    if (text.empty()) {
        if (m_noticeLabel)
            m_noticeLabel->removeFromSuperview();
        m_noticeLabel.reset();
        return;
    }
    if (!m_noticeLabel) {
        m_noticeLabel = whiteLabel({}, gfx::Font::boldSystemFont(14), gfx::TextAlignment::Center);
        m_noticeLabel->setBackgroundColor(gfx::Color(0, 0, 0, 0.6f));
        m_noticeLabel->layer().setCornerRadius(8);
        m_noticeLabel->setAutoresizingMask(FlexibleLeftMargin | FlexibleRightMargin | FlexibleTopMargin);
        addSubview(m_noticeLabel);
    }
    m_noticeLabel->setText(text);
    gfx::Rect b = bounds();
    gfx::Size fits = m_noticeLabel->sizeThatFits({ b.width(), TrackNameHeight });
    float width = std::min(b.width() - 2 * Margin, std::ceil(fits.width) + 2 * Margin);
    m_noticeLabel->setFrame({ std::round((b.width() - width) / 2),
        m_trackName->frame().y() - TrackNameHeight - TrackNameGap, width, TrackNameHeight });
}

void VKAudioPlayerView::buildLayout()
{
    const float w = bounds().width();
    const float h = bounds().height();
    setAutoresizesSubviews(true);

    m_timeControlsGroup = ui::View::create({ 0, 0, w, 2 * RowHeight });
    m_timeControlsGroup->setAutoresizingMask(FlexibleWidth | FlexibleBottomMargin);
    m_timeControlsGroup->setBackgroundColor(gfx::Color::white(0, 0));
    m_timeElapsedLabel = whiteLabel({ Margin, (RowHeight - TimeLabelHeight) / 2, TimeLabelWidth, TimeLabelHeight },
        gfx::Font::boldSystemFont(13), gfx::TextAlignment::Right);
    m_timeElapsedLabel->setAutoresizingMask(FlexibleRightMargin);
    m_timeRemainingLabel = whiteLabel({ w - Margin - TimeLabelWidth, (RowHeight - TimeLabelHeight) / 2, TimeLabelWidth, TimeLabelHeight },
        gfx::Font::boldSystemFont(13), gfx::TextAlignment::Left);
    m_timeRemainingLabel->setAutoresizingMask(FlexibleLeftMargin);
    m_timeSlider = VKAudioSlider::create({ Margin + TimeLabelWidth + TimeSliderGap, 0, w - 2 * (Margin + TimeLabelWidth + TimeSliderGap), RowHeight });
    m_timeSlider->setAutoresizingMask(FlexibleWidth);
    m_repeatButton = ui::Button::create(ui::Button::Type::Custom, { Margin, RowHeight, RowHeight, RowHeight });
    m_repeatButton->setAutoresizingMask(FlexibleRightMargin);
    m_shuffleButton = ui::Button::create(ui::Button::Type::Custom, { w - Margin - RowHeight, RowHeight, RowHeight, RowHeight });
    m_shuffleButton->setAutoresizingMask(FlexibleLeftMargin);
    m_playlistInfo = whiteLabel({ Margin + RowHeight, RowHeight + (RowHeight - TimeLabelHeight) / 2, w - 2 * (Margin + RowHeight), TimeLabelHeight },
        gfx::Font::systemFont(15), gfx::TextAlignment::Center);
    m_playlistInfo->setAutoresizingMask(FlexibleWidth);
    for (const auto& part : std::initializer_list<std::shared_ptr<ui::View>> {
             m_timeElapsedLabel, m_timeSlider, m_timeRemainingLabel, m_repeatButton, m_playlistInfo, m_shuffleButton })
        m_timeControlsGroup->addSubview(part);
    addSubview(m_timeControlsGroup);

    m_volumeControlGroup = ui::View::create({ 0, h - RowHeight - Margin, w, RowHeight });
    m_volumeControlGroup->setAutoresizingMask(FlexibleWidth | FlexibleTopMargin);
    m_volumeControlGroup->setBackgroundColor(gfx::Color::white(0, 0));
    m_volumeSlider = VKVolumeView::create({ 2 * Margin, 0, w - 4 * Margin, RowHeight });
    m_volumeSlider->setAutoresizingMask(FlexibleWidth);
    m_volumeControlGroup->addSubview(m_volumeSlider);
    addSubview(m_volumeControlGroup);

    m_trackName = whiteLabel({ Margin, m_volumeControlGroup->frame().y() - TrackNameHeight - TrackNameGap, w - 2 * Margin, TrackNameHeight },
        gfx::Font::boldSystemFont(17), gfx::TextAlignment::Center);
    m_trackName->setAutoresizingMask(FlexibleWidth | FlexibleTopMargin);
    addSubview(m_trackName);

    m_bufferingIndicator = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::White);
    float side = ui::ActivityIndicator::sideForStyle(ui::ActivityIndicator::Style::White);
    m_bufferingIndicator->setFrame({ (w - side) / 2, (h - side) / 2 - 14, side, side });
    m_bufferingIndicator->setAutoresizingMask(FlexibleLeftMargin | FlexibleRightMargin | FlexibleTopMargin | FlexibleBottomMargin);
    addSubview(m_bufferingIndicator);
    m_bufferingLabel = whiteLabel({ Margin, (h - side) / 2 + side - 6, w - 2 * Margin, TimeLabelHeight },
        gfx::Font::systemFont(15), gfx::TextAlignment::Center);
    m_bufferingLabel->setAutoresizingMask(FlexibleWidth | FlexibleTopMargin | FlexibleBottomMargin);
    addSubview(m_bufferingLabel);
}

void VKAudioPlayerView::awakeFromNib()
{
    m_bufferingLabel->setText(core::localized("Buffering..."));
    // Both start visible so that the first call really hides them.
    m_bufferingLabel->setAlpha(1);
    setBuffering(false);
}

void VKAudioPlayerView::setBackgroundForLandscape(bool landscape)
{
    layer().setContents(ui::Images::imageNamed(landscape ? "AudioBackgroundLandscape.png" : "AudioBackgroundPortrait.png"));
}

void VKAudioPlayerView::orientationWillChange(ui::Orientation orientation)
{
    setBackgroundForLandscape(ui::isLandscape(orientation));
}

bool VKAudioPlayerView::isBuffering() const
{
    return m_bufferingLabel && m_bufferingLabel->alpha() > 0;
}

void VKAudioPlayerView::setBuffering(bool buffering, bool animated)
{
    if (buffering == isBuffering())
        return;
    if (animated)
        ui::ViewAnimation::begin("VKAudioPlayerBuffering");
    float alpha = buffering ? 1.0f : 0.0f;
    m_bufferingLabel->setAlpha(alpha);
    m_bufferingIndicator->setAlpha(alpha);
    if (animated)
        ui::ViewAnimation::commit();
    if (buffering)
        m_bufferingIndicator->startAnimating();
    else
        m_bufferingIndicator->stopAnimating();
}

void VKAudioPlayerView::setControlInsets(const gfx::EdgeInsets& insets)
{
    m_controlInsets = insets;
    setNeedsLayout();
    layoutIfNeeded();
}

void VKAudioPlayerView::layoutSubviews()
{
    ui::View::layoutSubviews();
    if (!m_timeRemainingLabel)
        return;
    gfx::Rect remaining = m_timeRemainingLabel->frame();
    gfx::Size fitted = m_timeRemainingLabel->sizeThatFits(remaining.size);
    const float w = fitted.width + TimeLabelPadding;
    const float h = fitted.height;

    gfx::Rect elapsed = m_timeElapsedLabel->frame();
    m_timeElapsedLabel->setFrame({ elapsed.x(), elapsed.y(), w, h });
    m_timeRemainingLabel->setFrame({ remaining.x() + remaining.width() - w, remaining.y(), w, h });

    gfx::Rect slider = m_timeSlider->frame();
    float left = m_timeElapsedLabel->frame().maxX() + TimeSliderGap;
    float right = m_timeRemainingLabel->frame().x() - TimeSliderGap;
    m_timeSlider->setFrame({ left, slider.y(), right - left, slider.height() });

    if (m_controlInsets.top == 0 && m_controlInsets.bottom == 0)
        return;
    gfx::Rect time = m_timeControlsGroup->frame();
    m_timeControlsGroup->setFrame({ time.x(), m_controlInsets.top, time.width(), time.height() });
    gfx::Rect volume = m_volumeControlGroup->frame();
    float volumeY = bounds().maxY() - m_controlInsets.bottom - volume.height();
    m_volumeControlGroup->setFrame({ volume.x(), volumeY, volume.width(), volume.height() });
    gfx::Rect track = m_trackName->frame();
    m_trackName->setFrame({ track.x(), volumeY - track.height() - TrackNameGap, track.width(), track.height() });
}
