#pragma once

// A page's script dialog (alert, confirm, prompt, leaving the page) as a
// toolkit alert, answered when a button is pressed: OK confirms, Cancel
// refuses, a prompt hands back its field's text. The alert window keeps it
// while it shows; the page waits for the answer meanwhile.

#include "Platform/UI/AlertView.h"
#include "Platform/Web/WebPageClient.h"

#include <memory>
#include <string>

namespace ui {
class TextField;
}

namespace web {

class WebDialogView : public ui::AlertView {
public:
    static constexpr float FieldHeight = 31;

    // Shows `dialog` titled with the page's host.
    static std::shared_ptr<WebDialogView> show(PageDialog dialog, const std::string& host);

    WebDialogView();
    ~WebDialogView() override;

    // The prompt's field (null for other kinds).
    ui::TextField* textField() const { return m_field.get(); }
    void layoutSubviews() override;

protected:
    void sendClicked(int index) override;
    float accessoryHeight() const override { return m_field ? FieldHeight : 0; }

private:
    PageDialog m_dialog;
    std::shared_ptr<ui::TextField> m_field;
};

} // namespace web
