#include "Viewers/Document/VKGoToPageBar.h"

#include "Viewers/Document/VKDocumentViewController.h"
#include "Viewers/Document/VKGoToPagePlaceholderView.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/TextField.h"

#include <algorithm>
#include <climits>
#include <fmt/format.h>

unsigned VKPageNumberFromText(std::string_view text)
{
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = std::min<unsigned long long>(value * 10 + unsigned(c - '0'), INT_MAX);
    }
    return unsigned(value);
}

VKGoToPageBar::~VKGoToPageBar()
{
    if (m_placeholder)
        m_placeholder->setDocumentController(nullptr);
}

void VKGoToPageBar::show()
{
    if (!m_viewer.contentView() || m_bar || !m_viewer.navigationController())
        return;
    unsigned count = m_viewer.pageCount();
    std::string placeholder = count < 2 ? core::localized("Go to page")
                                        : fmt::format("{} of {}", m_viewer.currentPageNumber(), count);
    ui::NavigationBar& bar = m_viewer.navigationController()->navigationBar();
    m_bar = ui::SearchBar::create(bar.bounds());
    m_bar->setDelegate(std::static_pointer_cast<ui::SearchBarDelegate>(shared_from_this()));
    m_bar->setBarStyle(ui::NavigationBar::Style::BlackTranslucent);
    // The whole bar at every width (the window turned or resized under it).
    m_bar->setAutoresizingMask(ui::View::FlexibleWidth);
    ui::TextField& field = m_bar->textField();
    field.setKeyboardType(ui::TextField::KeyboardType::NumberPad);
    field.setAutocapitalizationType(ui::TextField::AutocapitalizationType::None);
    field.setAutocorrectionType(ui::TextField::AutocorrectionType::No);
    m_bar->setShowsCancelButton(true);
    m_bar->setPlaceholder(placeholder);
    bar.addSubview(m_bar);
    if (bar.topItem())
        bar.topItem()->setHidesBackButton(true, false);
    m_viewer.singleTapGestureRecognizer()->setEnabled(false);
    m_placeholder = VKGoToPagePlaceholderView::create(m_viewer.contentView()->bounds(), &m_viewer);
    m_viewer.contentView()->addSubview(m_placeholder);
    m_bar->cancelButton().setTitle(core::localized("Go"), ui::Control::Normal);
    m_bar->becomeFirstResponder();
}

void VKGoToPageBar::cancelButtonClicked(ui::SearchBar& bar)
{
    if (&bar == m_bar.get())
        done(bar);
}

void VKGoToPageBar::searchButtonClicked(ui::SearchBar& bar)
{
    if (&bar == m_bar.get())
        done(bar);
}

void VKGoToPageBar::done(ui::SearchBar& bar)
{
    std::string text = bar.text();
    remove();
    if (!text.empty())
        m_viewer.gotoPageNumber(std::max(1u, VKPageNumberFromText(text)));
    m_viewer.setUIHiddenAfterDelay(true, VKUIHideDelay);
}

void VKGoToPageBar::remove()
{
    if (!m_bar)
        return;
    m_bar->resignFirstResponder();
    auto bar = std::move(m_bar);
    auto placeholder = std::move(m_placeholder);
    if (placeholder)
        placeholder->setDocumentController(nullptr);
    core::RunLoop::main().performAfter(0, [bar, placeholder] {
        bar->removeFromSuperview();
        if (placeholder)
            placeholder->removeFromSuperview();
    });
    m_viewer.singleTapGestureRecognizer()->setEnabled(true);
    auto* navigation = m_viewer.navigationController();
    if (navigation && navigation->navigationBar().topItem())
        navigation->navigationBar().topItem()->setHidesBackButton(false, false);
}

bool VKGoToPageBar::isActive() const
{
    return m_bar && m_bar->textField().isFirstResponder();
}

void VKGoToPageBar::removeSoon()
{
    core::RunLoop::main().performAfter(shared_from_this(), 0, [](VKGoToPageBar& self) {
        self.remove();
    });
}

void VKGoToPageBar::textDidBeginEditing(ui::SearchBar&)
{
    m_viewer.view()->setBackgroundColor(gfx::Color::white(0, 0.3f));
    m_viewer.setBlocksTapHidingUI(true);
}

void VKGoToPageBar::textDidEndEditing(ui::SearchBar&)
{
    m_viewer.view()->setBackgroundColor(gfx::Color());
    m_viewer.setBlocksTapHidingUI(false);
}
