#include "Viewers/PDF/VKOverlayView.h"

#include "Kit/ColorAdditions.h"
#include "Kit/VKGeometry.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Transaction.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<VKOverlayView> VKOverlayView::create(const gfx::Rect& frame)
{
    auto view = ui::View::make<VKOverlayView>(frame);
    view->setUp();
    return view;
}

VKOverlayView::VKOverlayView() = default;

float VKOverlayView::imageLengthForScreen(gfx::Size points, float scale)
{
    float pixels = std::min(points.width, points.height) * scale;
    if (!(pixels >= 1))
        return 0;
    return std::exp2(std::floor(std::log2(pixels))) * 0.75f;
}

float VKOverlayView::imageLength()
{
    auto screen = ui::Screen::main();
    return screen ? imageLengthForScreen(screen->bounds().size, screen->scale()) : 0;
}

std::shared_ptr<ui::Label> VKOverlayView::newTextLabel()
{
    auto label = ui::Label::create();
    label->setBackgroundColor(gfx::Color());
    label->setTextColor(gfx::Color::white(1));
    label->setFont(ui::Fonts::boldSystemFont(ui::Fonts::LabelFontSize));
    label->setTextAlignment(gfx::TextAlignment::Center);
    label->setNumberOfLines(0);
    return label;
}

void VKOverlayView::setUp()
{
    setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    setUserInteractionEnabled(false);
    setBackgroundColor(gfx::Color::white(0, 0.8f));
    auto screen = ui::Screen::main();
    float scale = screen && screen->scale() > 0 ? screen->scale() : 1;
    float side = imageLength() / scale;
    m_imageView = ui::View::create(gfx::Rect(0, 0, side, side));
    m_placeholderLayer = ui::Layer::create();
    m_placeholderLayer->setBackgroundColor(vkCheckerboardBackgroundColor());
    m_imageView->layer().addSublayer(m_placeholderLayer);
    m_imageLayer = ui::Layer::create();
    m_imageLayer->setContentsGravity("resizeAspect");
    m_imageLayer->setFrame(m_imageView->bounds());
    m_imageView->layer().addSublayer(m_imageLayer);
    addSubview(m_imageView);
    m_upperLabel = newTextLabel();
    addSubview(m_upperLabel);
    m_lowerLabel = newTextLabel();
    addSubview(m_lowerLabel);
    // One line's height, measured once.
    m_upperLabel->setText("*");
    m_labelHeight = m_upperLabel->sizeThatFits(frame().size).height;
    m_upperLabel->setText("");
    calculateAvailableDepth();
}

std::string VKOverlayView::upperText() const
{
    return m_upperLabel->text();
}

void VKOverlayView::setUpperText(std::string text)
{
    m_upperLabel->setText(text);
    setNeedsLayout();
}

std::optional<std::string> VKOverlayView::lowerText() const
{
    return m_lowerText;
}

void VKOverlayView::setLowerText(std::optional<std::string> text)
{
    m_lowerText = std::move(text);
    m_lowerLabel->setText(m_lowerText.value_or(""));
    setNeedsLayout();
}

void VKOverlayView::setImage(std::shared_ptr<gfx::Image> image)
{
    if (image == m_image)
        return;
    m_image = std::move(image);
    m_imageLayer->setContents(m_image);
    setNeedsLayout();
}

void VKOverlayView::setImagePlaceholderSize(gfx::Size size)
{
    m_placeholderSize = size;
    setNeedsLayout();
}

void VKOverlayView::setToolbarInsets(const gfx::EdgeInsets& insets)
{
    m_toolbarInsets = insets;
    calculateAvailableDepth();
    setNeedsLayout();
}

void VKOverlayView::setMaxDepth(unsigned depth)
{
    m_maxDepth = depth;
    calculateAvailableDepth();
    setNeedsLayout();
}

void VKOverlayView::setContentHidden(bool hidden)
{
    if (hidden == m_contentHidden)
        return;
    m_contentHidden = hidden;
    m_imageView->setHidden(hidden);
    m_upperLabel->setHidden(hidden);
    m_lowerLabel->setHidden(hidden);
    performLayout();
}

void VKOverlayView::calculateAvailableDepth()
{
    if (!(m_labelHeight > 0)) {
        m_availableDepth = 0;
        return;
    }
    float h = bounds().height() - m_toolbarInsets.top - m_toolbarInsets.bottom - m_labelHeight - Margin
        - m_imageView->bounds().height() - Margin;
    // Less room than one line leaves none, never a huge unsigned count.
    float lines = std::floor(h / m_labelHeight);
    unsigned depth = lines > 0 ? unsigned(std::min(lines, 1e6f)) : 0;
    m_availableDepth = std::min(depth, m_maxDepth);
}

void VKOverlayView::setFrame(const gfx::Rect& frame)
{
    ui::View::setFrame(frame);
    if (frame != m_previousFrame) {
        calculateAvailableDepth();
        performLayout();
    }
    m_previousFrame = frame;
}

void VKOverlayView::layoutSubviews()
{
    ui::View::layoutSubviews();
    performLayout();
}

void VKOverlayView::performLayout()
{
    if (m_contentHidden || !m_imageView)
        return;
    gfx::Rect b = bounds();
    const gfx::EdgeInsets& i = m_toolbarInsets;
    gfx::Rect area(b.x() + i.left, b.y() + i.top, b.width() - i.left - i.right, b.height() - i.top - i.bottom);
    gfx::Size image = m_imageView->bounds().size;
    float needed = m_labelHeight + Margin + image.height + Margin + float(m_availableDepth) * m_labelHeight;
    if (needed <= area.height()) {
        gfx::Rect c = VKSizeCenteredInRect({ area.width(), needed }, area);
        m_upperLabel->setFrame(gfx::Rect(Margin, c.y(), area.width() - 2 * Margin, m_labelHeight));
        m_imageView->setFrame(gfx::Rect(c.x() + (c.width() - image.width) * 0.5f, c.y() + m_labelHeight + Margin,
            image.width, image.height));
        float lowerY = c.y() + m_labelHeight + Margin + image.height + Margin;
        gfx::Size fitted = m_lowerLabel->sizeThatFits({ area.width() - 2 * Margin, float(m_availableDepth) * m_labelHeight });
        float lowerHeight = std::min(fitted.height, float(m_availableDepth) * m_labelHeight);
        m_lowerLabel->setNumberOfLines(int(m_availableDepth));
        m_lowerLabel->setFrame(gfx::Rect(Margin, lowerY, area.width() - 2 * Margin, lowerHeight));
        m_upperLabel->setHidden(false);
        m_imageView->setHidden(false);
        m_lowerLabel->setHidden(m_availableDepth == 0);
    } else {
        m_upperLabel->setFrame(VKSizeCenteredInRect({ area.width(), m_labelHeight }, area));
        m_upperLabel->setHidden(false);
        m_imageView->setHidden(true);
        m_lowerLabel->setHidden(true);
    }
    ui::Transaction::begin();
    ui::Transaction::setDisableActions(true);
    bool showsImage = m_imageLayer->contents() != nullptr || m_imageView->isHidden();
    m_placeholderLayer->setHidden(showsImage);
    if (!showsImage)
        m_placeholderLayer->setFrame(VKSizeFitToSize(m_placeholderSize, image, false));
    ui::Transaction::commit();
}
