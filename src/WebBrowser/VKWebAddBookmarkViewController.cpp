#include "WebBrowser/VKWebAddBookmarkViewController.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Kit/ObjectAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/StandardColors.h"
#include "Viewers/Document/VKBookmarkAddCell.h"

std::shared_ptr<VKWebAddBookmarkViewController> VKWebAddBookmarkViewController::initWithURL(
    const std::optional<core::URL>& url, const std::optional<std::string>& title)
{
    auto form = std::make_shared<VKWebAddBookmarkViewController>();
    std::weak_ptr<ui::TextFieldDelegate> self = std::static_pointer_cast<ui::TextFieldDelegate>(form);

    form->m_titleCell = VKBookmarkAddCell::initWithStyle(ui::TableViewCell::Style::Default, "VKBookmarkAddCell");
    auto& titleField = form->m_titleCell->textField();
    titleField.setTextColor(tableViewCellTextValueColor());
    titleField.setClearButtonMode(ui::TextField::ViewMode::WhileEditing);
    titleField.setPlaceholder(core::localized("Title", "WebBrowser"));
    titleField.setText(title.value_or(""));
    titleField.setReturnKeyType(ui::TextInput::ReturnKeyType::Done);
    titleField.setDelegate(self);

    form->m_urlCell = VKBookmarkAddCell::initWithStyle(ui::TableViewCell::Style::Default, "VKBookmarkAddCell");
    auto& urlField = form->m_urlCell->textField();
    urlField.setFont(ui::Fonts::systemFont(ui::Fonts::LabelFontSize));
    urlField.setClearButtonMode(ui::TextField::ViewMode::WhileEditing);
    urlField.setPlaceholder(core::localized("Address", "WebBrowser"));
    urlField.setText(url ? url->absoluteString() : std::string());
    urlField.setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    urlField.setAutocapitalizationType(ui::TextInput::AutocapitalizationType::Words);
    urlField.setKeyboardType(ui::TextInput::KeyboardType::URL);
    urlField.setReturnKeyType(ui::TextInput::ReturnKeyType::Done);
    urlField.setDelegate(self);
    form->setURLEditingEnabled(false);

    for (auto* cell : { form->m_titleCell.get(), form->m_urlCell.get() })
        cell->setSelectionStyle(ui::TableViewCell::SelectionStyle::None);
    return form;
}

VKWebAddBookmarkViewController::VKWebAddBookmarkViewController() : ui::TableViewController(ui::TableView::Style::Grouped)
{
}

VKWebBookmark VKWebAddBookmarkViewController::bookmark() const
{
    return VKWebBookmarks::generateBookmarkWithURL(core::URL::parse(m_urlCell->textField().text()),
        m_titleCell->textField().text());
}

void VKWebAddBookmarkViewController::setURLEditingEnabled(bool enabled)
{
    auto& field = m_urlCell->textField();
    field.setEnabled(enabled);
    field.setTextColor(enabled ? tableViewCellTextValueColor() : ui::StandardColors::lightGray());
}

void VKWebAddBookmarkViewController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    setTitle(core::localized("Add Bookmark", "WebBrowser"));
}

void VKWebAddBookmarkViewController::viewDidAppear(bool animated)
{
    TableViewController::viewDidAppear(animated);
    // The field must be on the screen to take the keyboard: an unanimated
    // push has not laid the rows out yet.
    tableView().layoutIfNeeded();
    m_titleCell->textField().becomeFirstResponder();
}

void VKWebAddBookmarkViewController::viewDidDisappear(bool animated)
{
    TableViewController::viewDidDisappear(animated);
    auto delegate = m_delegate.lock();
    if (delegate && delegate->supportsDidDisappear())
        delegate->webAddBookmarkViewControllerDidDisappear(*this);
}

int VKWebAddBookmarkViewController::numberOfRows(ui::TableView&, int)
{
    return 2;
}

std::shared_ptr<ui::TableViewCell> VKWebAddBookmarkViewController::cellForRow(ui::TableView&, ui::IndexPath path)
{
    if (path.row == 0)
        return m_titleCell;
    return m_urlCell;
}

// Accepting runs on the next pass, after the field has finished with its
// key: the owner may well take the form off the screen.
bool VKWebAddBookmarkViewController::shouldReturn(ui::TextField&)
{
    auto delegate = m_delegate.lock();
    if (delegate && delegate->supportsDidAccept()) {
        auto self = std::static_pointer_cast<VKWebAddBookmarkViewController>(shared_from_this());
        vkPerformSelectorOnNextRunLoopRun(self, [](VKWebAddBookmarkViewController& form) {
            if (auto delegate = form.m_delegate.lock(); delegate && delegate->supportsDidAccept())
                delegate->webAddBookmarkViewControllerDidAccept(form);
        });
    }
    return true;
}
