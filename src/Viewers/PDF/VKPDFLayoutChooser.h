#pragma once

// The PDF viewer's page layouts. Which layout a document shows: its own
// code in the per-file settings ("VKDVLV", "VKDVLHS", "VKDVLHD"), else the
// default; the horizontal layouts register a factory here and a value
// nobody registered shows the vertical layout. And the reader's choice: the
// toolbar's layout item (made once) opens a sheet of the three with a tick
// at the one shown; a pick stores the layout, starts it fitted and keeps
// the page the reader was on. The viewer owns it.

#include "Platform/Graphics/Geometry.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ui {
class BarButtonItem;
}
class VKActionSheet;
class VKDocumentView;
class VKPDFViewController;

class VKPDFLayoutChooser {
public:
    // Makes the layout view of one layout value, framed; `singleFirstPage`
    // is the double layout's choice of a lone first page.
    using Factory = std::function<std::shared_ptr<VKDocumentView>(const gfx::Rect& frame, bool singleFirstPage)>;
    // An empty factory unregisters.
    static void setFactory(int layout, Factory factory);
    static bool hasFactory(int layout);
    // The registered layout's view; none for a value nobody registered.
    static std::shared_ptr<VKDocumentView> makeView(int layout, const gfx::Rect& frame, bool singleFirstPage);

    // The per-file code of a layout value and back (0 for none of the three).
    static const char* codeForLayout(int layout);
    static int layoutForCode(const std::optional<std::string>& code);
    // The document's own layout, else the default.
    static int documentLayoutForPath(const std::string& path);

    std::shared_ptr<ui::BarButtonItem> item(VKPDFViewController& viewer);
    void showSheet(VKPDFViewController& viewer);
    // The layout sheet's picks; false for any other sheet or tag.
    static bool answer(VKPDFViewController& viewer, VKActionSheet& sheet, int tag);
    void forget() { m_item.reset(); }

private:
    std::shared_ptr<ui::BarButtonItem> m_item;
};
