#include "Platform/UI/SearchBar.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TextField.h"

namespace ui {

// Hears the field for the bar: the bar owns it and outlives it.
class SearchBar::FieldDelegate : public TextFieldDelegate {
public:
    explicit FieldDelegate(SearchBar* bar) : m_bar(bar) { }
    bool shouldBeginEditing(TextField&) override
    {
        auto d = m_bar->delegate();
        return !d || d->shouldBeginEditing(*m_bar);
    }
    void didBeginEditing(TextField&) override
    {
        if (auto d = m_bar->delegate())
            d->textDidBeginEditing(*m_bar);
    }
    bool shouldEndEditing(TextField&) override
    {
        auto d = m_bar->delegate();
        return !d || d->shouldEndEditing(*m_bar);
    }
    void didEndEditing(TextField&) override
    {
        if (auto d = m_bar->delegate())
            d->textDidEndEditing(*m_bar);
    }
    bool shouldReturn(TextField&) override
    {
        if (auto d = m_bar->delegate())
            d->searchButtonClicked(*m_bar);
        return true;
    }

private:
    SearchBar* m_bar;
};

std::shared_ptr<SearchBar> SearchBar::create(const gfx::Rect& frame)
{
    return make<SearchBar>(frame.size.height > 0 ? frame : gfx::Rect { frame.origin, { frame.width(), Height } });
}

SearchBar::SearchBar()
    : m_field(TextField::create())
    , m_cancel(Button::create(Button::Type::RoundedRect))
    , m_fieldDelegate(std::make_shared<FieldDelegate>(this))
{
    setAutoresizingMask(FlexibleWidth);
    m_field->setBorderStyle(TextField::BorderStyle::RoundedRect);
    m_field->setClearButtonMode(TextField::ViewMode::WhileEditing);
    m_field->setReturnKeyType(TextInput::ReturnKeyType::Search);
    m_field->setDelegate(m_fieldDelegate);
    // The actions find their bar through the control, never by a capture.
    m_field->addTarget(nullptr, "searchTextChanged", [](Control& field, const Event*) {
        if (auto* bar = dynamic_cast<SearchBar*>(field.superview()))
            bar->textChanged();
    }, Control::EditingChanged);
    m_cancel->setTitle(core::localized("Cancel", "Toolkit"), Control::Normal);
    m_cancel->setHidden(true);
    m_cancel->addTarget(nullptr, "cancelSearch", [](Control& button, const Event*) {
        auto* bar = dynamic_cast<SearchBar*>(button.superview());
        if (!bar)
            return;
        auto keep = bar->shared_from_this();
        if (auto d = bar->delegate())
            d->cancelButtonClicked(*bar);
    }, Control::TouchUpInside);
    addSubview(m_field);
    addSubview(m_cancel);
}

SearchBar::~SearchBar() = default;

std::string SearchBar::text() const
{
    return m_field->text();
}

void SearchBar::setText(std::string_view text)
{
    if (text == m_field->text())
        return;
    m_field->setText(text);
    textChanged();
}

void SearchBar::textChanged()
{
    auto keep = shared_from_this();
    if (auto d = delegate())
        d->textDidChange(*this, m_field->text());
}

void SearchBar::setPlaceholder(std::string placeholder)
{
    m_placeholder = std::move(placeholder);
    m_field->setPlaceholder(m_placeholder);
}

bool SearchBar::performKeyCommand(KeyCommand command)
{
    auto keep = shared_from_this();
    if (auto d = delegate(); d && d->keyCommand(*this, command))
        return true;
    if (command != KeyCommand::Escape)
        return false;
    if (m_showsCancel && !m_cancel->isHidden())
        m_cancel->sendActions(Control::TouchUpInside);
    else if (m_field->isFirstResponder())
        m_field->resignFirstResponder();
    else
        return false;
    return true;
}

void SearchBar::setShowsCancelButton(bool shows, bool)
{
    m_showsCancel = shows;
    m_cancel->setHidden(!shows);
    setNeedsLayout();
}

void SearchBar::setScopeButtonTitles(std::vector<std::string> titles)
{
    m_scopeTitles = std::move(titles);
    if (m_scopeBar)
        m_scopeBar->removeFromSuperview();
    m_scopeBar.reset();
    if (!m_scopeTitles.empty()) {
        std::vector<SegmentedControl::Item> items(m_scopeTitles.begin(), m_scopeTitles.end());
        m_scopeBar = SegmentedControl::create(std::move(items));
        m_scopeBar->setSelectedSegmentIndex(0);
        m_scopeBar->setHidden(!m_showsScopeBar);
        m_scopeBar->addTarget(nullptr, "scopeChanged", [](Control& control, const Event*) {
            if (auto* bar = dynamic_cast<SearchBar*>(control.superview()))
                bar->scopeChanged();
        }, Control::ValueChanged);
        addSubview(m_scopeBar);
    }
    setNeedsLayout();
}

int SearchBar::selectedScopeButtonIndex() const
{
    return m_scopeBar ? std::max(0, m_scopeBar->selectedSegmentIndex()) : 0;
}

void SearchBar::setSelectedScopeButtonIndex(int index)
{
    if (m_scopeBar && index >= 0 && size_t(index) < m_scopeTitles.size())
        m_scopeBar->setSelectedSegmentIndex(index);
}

void SearchBar::scopeChanged()
{
    auto keep = shared_from_this();
    if (auto d = delegate())
        d->selectedScopeButtonIndexDidChange(*this, selectedScopeButtonIndex());
}

void SearchBar::setShowsScopeBar(bool shows)
{
    m_showsScopeBar = shows;
    if (m_scopeBar)
        m_scopeBar->setHidden(!shows);
    // The scope bar hangs below the field and takes touches only inside.
    gfx::Rect f = frame();
    f.size.height = sizeThatFits(f.size).height;
    setFrame(f);
    setNeedsLayout();
}

bool SearchBar::becomeFirstResponder()
{
    return m_field->becomeFirstResponder();
}

bool SearchBar::resignFirstResponder()
{
    return m_field->resignFirstResponder();
}

gfx::Size SearchBar::sizeThatFits(gfx::Size size) const
{
    return { size.width, Height + (m_showsScopeBar && m_scopeBar ? ScopeBarHeight : 0) };
}

void SearchBar::layoutSubviews()
{
    gfx::Rect b = bounds();
    float right = b.width() - 6;
    if (m_showsCancel) {
        gfx::Size size = m_cancel->sizeThatFits({});
        size.width = std::max(size.width + 12, 60.0f);
        m_cancel->setFrame({ right - size.width, 7, size.width, 30 });
        right = m_cancel->frame().minX() - 6;
    }
    m_field->setFrame({ 6, 8, std::max(0.0f, right - 6), 28 });
    if (m_scopeBar)
        m_scopeBar->setFrame({ 6, Height + 7, b.width() - 12, 30 });
}

std::string SearchBar::debugText() const
{
    return m_field->text();
}

} // namespace ui
