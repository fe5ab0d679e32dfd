#include "DropboxSDK/UI/DBLoadingView.h"

#include "Platform/Graphics/Context.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardViewDrawing.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <cmath>
#include <numbers>

std::shared_ptr<DBLoadingView> DBLoadingView::initWithTitle(std::string title)
{
    auto view = std::make_shared<DBLoadingView>();
    view->build(std::move(title));
    return view;
}

void DBLoadingView::build(std::string title)
{
    if (auto window = ui::Application::shared() ? ui::Application::shared()->keyWindow() : nullptr)
        setFrame(window->frame());
    setOpaque(false);
    setBackgroundColor(gfx::Color());
    setUserInteractionEnabled(false);
    setAutoresizingMask(FlexibleWidth | FlexibleHeight);

    m_activityIndicator = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::WhiteLarge);
    addSubview(m_activityIndicator);
    m_imageView = ui::ImageView::create();
    addSubview(m_imageView);
    m_titleLabel = ui::Label::create({}, title);
    m_titleLabel->setTextColor(gfx::Color::white(1));
    m_titleLabel->setBackgroundColor(gfx::Color());
    m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
    addSubview(m_titleLabel);
}

void DBLoadingView::show()
{
    if (!m_imageView->image())
        m_activityIndicator->startAnimating();
    auto window = ui::Application::shared() ? ui::Application::shared()->keyWindow() : nullptr;
    if (!window)
        return;
    setFrame(window->frame());
    window->addSubview(sharedAs<DBLoadingView>());
}

void DBLoadingView::dismissAnimated(bool animated)
{
    auto finish = [weak = std::weak_ptr<DBLoadingView>(sharedAs<DBLoadingView>())](bool) {
        if (auto self = weak.lock()) {
            self->m_activityIndicator->stopAnimating();
            self->removeFromSuperview();
        }
    };
    if (!animated) {
        finish(true);
        return;
    }
    ui::ViewAnimation::animate(FadeDuration, [this] { setAlpha(0); }, finish);
}

void DBLoadingView::setImage(std::shared_ptr<gfx::Image> image)
{
    m_imageView->setImage(std::move(image));
    setNeedsLayout();
}

gfx::Rect DBLoadingView::boxFrame() const
{
    auto size = bounds().size;
    float x = std::floor(size.width / 2 - BoxSide / 2);
    float y = std::floor(size.height / 2 - BoxSide / 2);
    if (m_orientation == 1 || m_orientation == 2)
        y += 18;
    return { x, y, BoxSide, BoxSide };
}

void DBLoadingView::layoutSubviews()
{
    auto box = boxFrame();
    gfx::Point middle { box.origin.x + box.size.width / 2, box.origin.y + box.size.height / 2 };
    m_activityIndicator->setCenter({ middle.x, middle.y - 10 });
    float lineHeight = ui::Fonts::lineHeight(m_titleLabel->font());
    m_titleLabel->setFrame({ box.origin.x + 10, box.origin.y + box.size.height - 20 - lineHeight, box.size.width - 20, lineHeight });
    if (auto image = m_imageView->image()) {
        auto size = image->size();
        m_imageView->setFrame({ std::floor(middle.x - size.width / 2), std::floor(middle.y - size.height / 2), size.width, size.height });
    }
}

void DBLoadingView::draw(gfx::Context& context, const gfx::Rect&)
{
    context.setFillColor(0, 0, 0, 128.f / 255.f);
    ui::StandardViewDrawing::fillRoundedRect(context, boxFrame(), 6);
}
