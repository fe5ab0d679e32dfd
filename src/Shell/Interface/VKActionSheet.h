#pragma once

// An action sheet whose buttons carry tags of the caller's choosing, so that
// handlers dispatch on what a button means rather than where it sits among
// the buttons a screen chose to add, and which carries a value for its
// delegate. The sheet itself dispatches nothing by tag: its owner maps the
// clicked index through tagForButtonAtIndex.

#include "Platform/Core/Value.h"
#include "Platform/UI/ActionSheet.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>

class VKActionSheet : public ui::ActionSheet {
public:
    // The tag of a button added without one (cancel, say), and of an index
    // that names no button. It must differ from every tag a sheet or button
    // is given, the system's dismissal tag first of all: a handler that took
    // a plain Cancel for a dismissal by the system (or the other way round)
    // would act on the wrong one.
    static constexpr int UntaggedButton = std::numeric_limits<int>::min();

    // Buttons given here carry no tags.
    static std::shared_ptr<VKActionSheet> create(std::string title, std::weak_ptr<ui::ActionSheetDelegate> delegate = {},
        std::optional<std::string> cancelTitle = std::nullopt,
        std::optional<std::string> destructiveTitle = std::nullopt, const std::vector<std::string>& otherTitles = {});

    // Adds a button and records its tag; answers the button's index.
    int addButtonWithTitle(std::string title, int tag);
    int tagForButtonAtIndex(int index) const;

    const core::Value& userInfo() const { return m_userInfo; }
    void setUserInfo(core::Value userInfo) { m_userInfo = std::move(userInfo); }

    // For a compile-time check that the tags one handler tells apart differ.
    template <std::size_t N> static constexpr bool tagsAreDistinct(std::array<int, N> tags)
    {
        std::sort(tags.begin(), tags.end());
        return std::adjacent_find(tags.begin(), tags.end()) == tags.end();
    }

private:
    std::map<int, int> m_indexToTagMap;
    core::Value m_userInfo;
};
