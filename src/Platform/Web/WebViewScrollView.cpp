#include "Platform/Web/WebViewScrollView.h"

#include "Platform/Web/WebView.h"

namespace web {

template<typename Apply> void WebViewScrollView::change(const gfx::Rect& to, Apply apply)
{
    gfx::Rect from = bounds();
    if (m_changing || !m_owner || to == from) {
        apply();
        return;
    }
    if (!m_owner->scrollViewShouldChangeBounds(to))
        return;
    m_changing = true;
    apply();
    m_changing = false;
    if (m_owner && bounds() != from)
        m_owner->scrollViewDidChangeBounds(bounds());
}

void WebViewScrollView::setContentOffset(gfx::Point offset)
{
    gfx::Rect to = bounds();
    to.origin = offset;
    change(to, [&] { ScrollView::setContentOffset(offset); });
}

void WebViewScrollView::setBounds(const gfx::Rect& bounds)
{
    change(bounds, [&] { ScrollView::setBounds(bounds); });
}

void WebViewScrollView::setFrame(const gfx::Rect& frame)
{
    change({ bounds().origin, frame.size }, [&] { ScrollView::setFrame(frame); });
}

} // namespace web
