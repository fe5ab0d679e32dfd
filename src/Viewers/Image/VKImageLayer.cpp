#include "Viewers/Image/VKImageLayer.h"

#include "Viewers/Image/VKImageTileLayer.h"

#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/StoredImage.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Transaction.h"

std::shared_ptr<VKImageLayer> VKImageLayer::create()
{
    return std::make_shared<VKImageLayer>();
}

void VKImageLayer::setImage(const std::shared_ptr<gfx::Image>& image)
{
    m_image = image;
    // The bitmap as stored; the view's transform turns it.
    setContents(gfx::imageWithStoredPixels(image));
    if (!image)
        setDetailSource(nullptr);
}

void VKImageLayer::setDetailSource(const std::shared_ptr<gfx::Image>& picture)
{
    if (picture == m_detailSource)
        return;
    m_detailSource = picture;
    if (m_tileLayer) {
        m_tileLayer->removeFromSuperlayer();
        m_tileLayer = nullptr;
    }
    if (!picture)
        return;
    m_tileLayer = VKImageTileLayer::create(picture);
    m_tileLayer->setHidden(true);
    addSublayer(m_tileLayer);
}

void VKImageLayer::updateDetailForZoom(float zoom)
{
    if (!m_tileLayer)
        return;
    // The tiles follow the picture at once, whatever animates the picture.
    ui::Transaction::begin();
    ui::Transaction::setDisableActions(true);
    gfx::Rect b = bounds();
    if (m_tileLayer->bounds() != b) {
        m_tileLayer->setBounds(b);
        m_tileLayer->setPosition({ b.midX(), b.midY() });
    }
    // The bitmap's pixels per point of the picture.
    float shown = m_image && b.width() > 0 ? float(m_image->pixelWidth()) / b.width() : 0;
    m_tileLayer->setHidden(!(zoom * ui::Screen::main()->scale() > shown * 1.01f));
    ui::Transaction::commit();
}
