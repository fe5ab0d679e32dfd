#include "Platform/Web/WebDialogView.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/TextField.h"

namespace web {

namespace {

std::string dialogText(const char* english)
{
    return core::localized(english, "WebKit");
}

} // namespace

std::shared_ptr<WebDialogView> WebDialogView::show(PageDialog dialog, const std::string& host)
{
    auto view = std::make_shared<WebDialogView>();
    view->setTitle(host);
    switch (dialog.kind) {
    case PageDialog::Kind::Alert:
        view->setMessage(dialog.message);
        view->addButton(dialogText("OK"));
        break;
    case PageDialog::Kind::Confirm:
        view->setMessage(dialog.message);
        view->setCancelButtonIndex(view->addButton(dialogText("Cancel")));
        view->addButton(dialogText("OK"));
        break;
    case PageDialog::Kind::Prompt:
        view->setMessage(dialog.message);
        view->setCancelButtonIndex(view->addButton(dialogText("Cancel")));
        view->addButton(dialogText("OK"));
        break;
    case PageDialog::Kind::BeforeUnload:
        view->setMessage(dialog.message.empty() ? dialogText("Are you sure you want to leave this page?") : dialog.message);
        view->setCancelButtonIndex(view->addButton(dialogText("Stay on Page")));
        view->addButton(dialogText("Leave Page"));
        break;
    }
    if (dialog.kind == PageDialog::Kind::Prompt) {
        view->m_field = ui::TextField::create();
        view->m_field->setText(dialog.defaultText);
        view->m_field->setBorderStyle(ui::TextField::BorderStyle::RoundedRect);
        view->addSubview(view->m_field);
    }
    view->m_dialog = std::move(dialog);
    view->AlertView::show();
    return view;
}

WebDialogView::WebDialogView() = default;

WebDialogView::~WebDialogView()
{
    // Never answered (the alert was dropped): refused.
    if (auto answer = std::exchange(m_dialog.answer, nullptr))
        answer(false, {});
}

void WebDialogView::layoutSubviews()
{
    AlertView::layoutSubviews();
    if (!m_field)
        return;
    // In the room the alert made for it, just above the buttons.
    gfx::Rect row = buttonRowRect();
    m_field->setFrame({ row.origin.x, row.origin.y - FieldHeight - ButtonSpacing, row.size.width, FieldHeight });
}

void WebDialogView::sendClicked(int index)
{
    AlertView::sendClicked(index);
    if (auto answer = std::exchange(m_dialog.answer, nullptr)) {
        bool confirmed = index != cancelButtonIndex();
        answer(confirmed, m_field ? m_field->text() : std::string());
    }
}

} // namespace web
