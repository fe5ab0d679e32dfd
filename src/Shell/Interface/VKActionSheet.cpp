#include "Shell/Interface/VKActionSheet.h"

std::shared_ptr<VKActionSheet> VKActionSheet::create(std::string title, std::weak_ptr<ui::ActionSheetDelegate> delegate,
    std::optional<std::string> cancelTitle, std::optional<std::string> destructiveTitle,
    const std::vector<std::string>& otherTitles)
{
    auto sheet = std::make_shared<VKActionSheet>();
    setUp(*sheet, std::move(title), std::move(delegate), std::move(cancelTitle), std::move(destructiveTitle),
        otherTitles);
    return sheet;
}

int VKActionSheet::addButtonWithTitle(std::string title, int tag)
{
    int index = addButton(std::move(title));
    m_indexToTagMap[index] = tag;
    return index;
}

int VKActionSheet::tagForButtonAtIndex(int index) const
{
    auto it = m_indexToTagMap.find(index);
    return it == m_indexToTagMap.end() ? UntaggedButton : it->second;
}
