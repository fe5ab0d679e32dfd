#pragma once

// The base of the pager's cells: a view with a reuse identifier (empty:
// none, and the pager drops such a cell instead of pooling it) and the
// chrome insets the pager hands to every cell it shows.

#include "Platform/UI/View.h"

#include <string>

class VKPagingViewCell : public ui::View {
public:
    static std::shared_ptr<VKPagingViewCell> create(std::string reuseIdentifier = {});
    explicit VKPagingViewCell(std::string reuseIdentifier = {});

    const std::string& reuseIdentifier() const { return m_reuseIdentifier; }
    const gfx::EdgeInsets& toolbarContentInsets() const { return m_toolbarContentInsets; }
    virtual void setToolbarContentInsets(const gfx::EdgeInsets& insets) { m_toolbarContentInsets = insets; }
    // Sent as the pager hands a pooled cell out again.
    virtual void prepareForReuse() { }

private:
    std::string m_reuseIdentifier;
    gfx::EdgeInsets m_toolbarContentInsets;
};
