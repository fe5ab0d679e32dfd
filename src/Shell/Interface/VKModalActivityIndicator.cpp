#include "Shell/Interface/VKModalActivityIndicator.h"

#include "Kit/VKFunctions.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float StatusBarRoom = 20;
constexpr float LabelGap = 15;
constexpr float CornerRadius = 5;

} // namespace

std::shared_ptr<VKModalActivityIndicator> VKModalActivityIndicator::create(std::string message)
{
    auto indicator = std::make_shared<VKModalActivityIndicator>();
    indicator->m_label->setText(message);
    return indicator;
}

VKModalActivityIndicator::VKModalActivityIndicator()
{
    setFrame(ui::Screen::main()->bounds());
    setOpaque(false);
    setBackgroundColor(gfx::Color::white(0, 0.2f));
    m_label = ui::Label::create(frame());
    m_label->setBackgroundColor(ui::StandardColors::clear());
    m_label->setTextColor(ui::StandardColors::white());
    m_label->setFont(ui::Fonts::boldSystemFont(18));
    m_label->setTextAlignment(gfx::TextAlignment::Center);
    m_label->setNumberOfLines(0);
    addSubview(m_label);
    m_activityIndicator = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::WhiteLarge);
    m_activityIndicator->sizeToFit();
    addSubview(m_activityIndicator);
}

VKModalActivityIndicator::~VKModalActivityIndicator() = default;

gfx::Rect VKModalActivityIndicator::rectForBevel() const
{
    gfx::Size bevel = BevelSize;
    float innerWidth = bevel.width - 2 * BevelInset;
    float spinner = m_activityIndicator->bounds().height();
    // The message wraps to the inner width and is cut at the room a bevel
    // as tall as it is wide leaves it.
    gfx::Size text = ui::Fonts::sizeOfString(m_label->text(), m_label->font(),
        gfx::Size { innerWidth, innerWidth - LabelGap - spinner }, gfx::LineBreakMode::WordWrap);
    float height = text.height + spinner + 3 * BevelInset;
    if (height > bevel.height)
        bevel.height = height;
    gfx::Rect own = bounds();
    return { own.minX() + std::floor((own.width() - bevel.width) * 0.5f),
        own.minY() + std::floor((own.height() - bevel.height) * 0.5f), bevel.width, bevel.height };
}

void VKModalActivityIndicator::layoutSubviews()
{
    gfx::Rect inner = rectForBevel().insetBy(BevelInset, BevelInset);
    gfx::Size spinner = m_activityIndicator->bounds().size;
    float spinnerTop = inner.maxY() - spinner.height;
    m_activityIndicator->setFrame(
        { inner.minX() + std::floor((inner.width() - spinner.width) * 0.5f), spinnerTop, spinner.width, spinner.height });
    m_label->setFrame({ inner.minX(), inner.minY(), inner.width(), std::max(0.0f, spinnerTop - inner.minY() - LabelGap) });
}

void VKModalActivityIndicator::draw(gfx::Context& context, const gfx::Rect&)
{
    gfx::Rect bevel = rectForBevel();
    context.setFillColor(gfx::Color::white(0, 0.8f));
    context.beginPath();
    VKContextAddRoundedRect(context, bevel.minX(), bevel.minY(), bevel.width(), bevel.height(), CornerRadius);
    context.closePath();
    context.fillPath();
}

void VKModalActivityIndicator::showInWindow(ui::Window& window)
{
    auto* application = ui::Application::shared();
    ui::Orientation orientation = application ? application->statusBarOrientation() : ui::Orientation::Portrait;
    gfx::Rect windowBounds = window.bounds();
    gfx::Size size = windowBounds.size;
    if (ui::isLandscape(orientation)) {
        std::swap(size.width, size.height);
        size.height -= StatusBarRoom;
    }
    gfx::Point center { windowBounds.width() * 0.5f, windowBounds.height() * 0.5f };
    // The bevel keeps clear of the status bar, which stands at the
    // interface's top: the screen's top, bottom, left or right.
    switch (orientation) {
    case ui::Orientation::PortraitUpsideDown:
        center.y -= StatusBarRoom;
        break;
    case ui::Orientation::LandscapeRight:
        center.x -= StatusBarRoom / 2;
        break;
    case ui::Orientation::LandscapeLeft:
        center.x += StatusBarRoom / 2;
        break;
    default:
        center.y += StatusBarRoom;
        break;
    }
    setTransform(gfx::AffineTransform::rotation(ui::rotationAngle(orientation)));
    setBounds({ 0, 0, size.width, size.height });
    setCenter(center);
    setNeedsLayout();
    setNeedsDisplay();
    window.addSubview(std::static_pointer_cast<VKModalActivityIndicator>(shared_from_this()));
    m_activityIndicator->startAnimating();
}

void VKModalActivityIndicator::dismiss()
{
    m_activityIndicator->stopAnimating();
    core::RunLoop::main().keepAliveUntilEndOfPass(shared_from_this());
    removeFromSuperview();
}
