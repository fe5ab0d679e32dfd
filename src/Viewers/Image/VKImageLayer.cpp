#include "Viewers/Image/VKImageLayer.h"

#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/StoredImage.h"

std::shared_ptr<VKImageLayer> VKImageLayer::create()
{
    return std::make_shared<VKImageLayer>();
}

void VKImageLayer::setImage(const std::shared_ptr<gfx::Image>& image)
{
    m_image = image;
    // The bitmap as stored; the view's transform turns it.
    setContents(gfx::imageWithStoredPixels(image));
}
