#include "App/FolderBrowser/VKFolderSearchBar.h"

#include "Platform/UI/TextField.h"

#include <algorithm>

std::shared_ptr<VKFolderSearchBar> VKFolderSearchBar::create(const gfx::Rect& frame)
{
    auto bar = ui::View::make<VKFolderSearchBar>(frame);
    return bar;
}

void VKFolderSearchBar::layoutSubviews()
{
    ui::SearchBar::layoutSubviews();
    if (showsCancelButton())
        return;
    gfx::Rect field = textField().frame();
    field.size.width = std::max(0.0f, field.width() - NarrowerFieldWidth);
    textField().setFrame(field);
}
