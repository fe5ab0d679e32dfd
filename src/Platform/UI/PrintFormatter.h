#pragma once

// What lays out content for printing; here the formatter of a view, which
// prints what the view shows. It holds its view weakly: setView(nullptr)
// detaches it, and a formatter whose view went prints nothing.

#include "Platform/Core/Object.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>

namespace gfx {
class Context;
}

namespace ui {

class View;

class PrintFormatter : public core::Object {
public:
    static std::shared_ptr<PrintFormatter> create(const std::shared_ptr<View>& view);

    std::shared_ptr<View> view() const { return m_view.lock(); }
    void setView(const std::shared_ptr<View>& view) { m_view = view; }
    // Whether it has something to print.
    bool hasContent() const { return !m_view.expired() && m_inRenderer; }

    // Takes the formatter out of the page renderer it was given to.
    void removeFromPrintPageRenderer() { m_inRenderer = false; }
    bool isInPrintPageRenderer() const { return m_inRenderer; }
    void addToPrintPageRenderer() { m_inRenderer = true; }

    // A formatter that lays its content out in pages of its own answers
    // how many sheets of `page` (points) it fills; 0 (this one) means the
    // printer draws the view in bands instead.
    virtual int pageCount(gfx::Size page)
    {
        (void)page;
        return 0;
    }
    // Draws sheet `index` of that layout with its origin at the sheet's.
    virtual void drawPage(gfx::Context& context, int index, gfx::Size page)
    {
        (void)context, (void)index, (void)page;
    }

private:
    std::weak_ptr<View> m_view;
    bool m_inRenderer = true;
};

} // namespace ui
