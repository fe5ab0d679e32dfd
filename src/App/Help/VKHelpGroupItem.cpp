#include "App/Help/VKHelpGroupItem.h"

#include "FileModel/VKFileResource.h"

#include <fmt/format.h>

std::shared_ptr<VKHelpGroupItem> VKHelpGroupItem::groupItemWithTitle(std::string title)
{
    auto item = std::make_shared<VKHelpGroupItem>();
    item->setTitle(std::move(title));
    return item;
}

std::string VKHelpGroupItem::description() const
{
    return fmt::format("<VKHelpGroupItem {}> \"{}\" {}", fmt::ptr(this), m_title,
        m_resource ? m_resource->name() : m_contentType.value_or("(no page)"));
}
