#include "Viewers/PDF/VKPagingViewCell.h"

std::shared_ptr<VKPagingViewCell> VKPagingViewCell::create(std::string reuseIdentifier)
{
    return ui::View::make<VKPagingViewCell>(gfx::Rect(0, 0, 0, 0), std::move(reuseIdentifier));
}

VKPagingViewCell::VKPagingViewCell(std::string reuseIdentifier)
    : m_reuseIdentifier(std::move(reuseIdentifier))
{
}
