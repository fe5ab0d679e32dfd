#pragma once

#include "Platform/UI/SearchBar.h"

#include <memory>

// The folder list's search bar: the toolkit's bar whose field leaves room
// at its right end while the cancel button is away.
class VKFolderSearchBar : public ui::SearchBar {
public:
    static constexpr float NarrowerFieldWidth = 30;

    static std::shared_ptr<VKFolderSearchBar> create(const gfx::Rect& frame = {});

    void layoutSubviews() override;
};
