#include "WebBrowser/VKWebAuthenticationController.h"

#include "Kit/ObjectAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/Web/AuthenticationChallenge.h"
#include "WebBrowser/VKWebDocumentTitle.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float Margin = 20;
constexpr float FieldHeight = 44;
constexpr float FieldSpacing = 10;
constexpr float WarningLineHeight = 20;
// On a tablet the form keeps a readable width, centred.
constexpr float PortraitFormWidth = 440;
constexpr float LandscapeFormWidth = 640;

struct FormViews {
    ui::TextField& username;
    ui::TextField& password;
    ui::Label& warning;
};

// Upright: the two fields one above the other, the warning below them.
void layOutPortrait(const gfx::Rect& bounds, const FormViews& form)
{
    float width = std::min(bounds.width() - 2 * Margin, PortraitFormWidth);
    float x = std::floor((bounds.width() - width) / 2);
    float y = Margin;
    form.username.setFrame({ x, y, width, FieldHeight });
    y += FieldHeight + FieldSpacing;
    form.password.setFrame({ x, y, width, FieldHeight });
    y += FieldHeight + FieldSpacing;
    form.warning.setFrame({ x, y, width, WarningLineHeight * float(std::max(1, form.warning.numberOfLines())) });
}

// On its side the keyboard leaves little height: the fields share a row.
void layOutLandscape(const gfx::Rect& bounds, const FormViews& form)
{
    float width = std::min(bounds.width() - 2 * Margin, LandscapeFormWidth);
    float x = std::floor((bounds.width() - width) / 2);
    float fieldWidth = std::floor((width - FieldSpacing) / 2);
    float y = 12;
    form.username.setFrame({ x, y, fieldWidth, FieldHeight });
    form.password.setFrame({ x + width - fieldWidth, y, fieldWidth, FieldHeight });
    y += FieldHeight + 8;
    form.warning.setFrame({ x, y, width, WarningLineHeight * float(std::max(1, form.warning.numberOfLines())) });
}

// The sheet's view: lays its form out for the orientation the sheet was
// made in whenever its size changes.
class FormView : public ui::View {
public:
    void setForm(VKWebAuthenticationController& sheet) { m_sheet = &sheet; }
    void clearForm() { m_sheet = nullptr; }
    void layoutSubviews() override
    {
        View::layoutSubviews();
        if (!m_sheet || !m_sheet->usernameField())
            return;
        FormViews form { *m_sheet->usernameField(), *m_sheet->passwordField(), *m_sheet->securityWarningLabel() };
        if (m_sheet->isLandscapeLayout())
            layOutLandscape(bounds(), form);
        else
            layOutPortrait(bounds(), form);
    }

private:
    VKWebAuthenticationController* m_sheet = nullptr;
};

std::shared_ptr<ui::TextField> makeField(const std::string& placeholder)
{
    auto field = ui::TextField::create();
    field->setBorderStyle(ui::TextField::BorderStyle::RoundedRect);
    field->setFont(ui::Fonts::systemFont(ui::Fonts::LabelFontSize));
    field->setPlaceholder(placeholder);
    field->setClearButtonMode(ui::TextField::ViewMode::WhileEditing);
    field->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    field->setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    field->setAutoresizingMask(ui::View::FlexibleWidth);
    return field;
}

// The format's "%@" replaced by `value`.
std::string withObject(std::string format, const std::string& value)
{
    if (auto at = format.find("%@"); at != std::string::npos)
        format.replace(at, 2, value);
    return format;
}

} // namespace

std::shared_ptr<VKWebAuthenticationController> VKWebAuthenticationController::initWithAuthenticationChallenge(
    std::shared_ptr<web::AuthenticationChallenge> challenge, std::weak_ptr<VKWebAuthenticationControllerDelegate> delegate)
{
    auto sheet = std::make_shared<VKWebAuthenticationController>();
    if (auto application = ui::Application::shared())
        sheet->m_initialOrientation = application->statusBarOrientation();
    sheet->m_challenge = std::move(challenge);
    sheet->m_delegate = std::move(delegate);
    return sheet;
}

VKWebAuthenticationController::VKWebAuthenticationController() = default;

VKWebAuthenticationController::~VKWebAuthenticationController()
{
    if (auto* form = isViewLoaded() ? dynamic_cast<FormView*>(view().get()) : nullptr)
        form->clearForm();
    for (auto* field : { m_usernameField.get(), m_passwordField.get() })
        if (field)
            field->setDelegate({});
}

bool VKWebAuthenticationController::isLandscapeLayout() const
{
    return m_initialOrientation == ui::Orientation::LandscapeRight
        || m_initialOrientation == ui::Orientation::LandscapeLeft;
}

std::string VKWebAuthenticationController::username() const
{
    return m_usernameField ? m_usernameField->text() : std::string();
}

std::string VKWebAuthenticationController::password() const
{
    return m_passwordField ? m_passwordField->text() : std::string();
}

void VKWebAuthenticationController::doLogIn()
{
    auto keep = shared_from_this();
    if (auto delegate = m_delegate.lock())
        delegate->webAuthenticationControllerDidEnd(*this);
}

void VKWebAuthenticationController::doCancel()
{
    auto keep = shared_from_this();
    if (auto delegate = m_delegate.lock())
        delegate->webAuthenticationControllerDidCancel(*this);
}

void VKWebAuthenticationController::loadView()
{
    auto application = ui::Application::shared();
    gfx::Rect frame = application ? application->applicationFrame() : gfx::Rect { 0, 20, 320, 460 };
    auto form = ui::View::make<FormView>(frame);
    form->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);

    m_usernameField = makeField(core::localized("Name", "WebBrowser"));
    m_usernameField->setReturnKeyType(ui::TextInput::ReturnKeyType::Next);
    m_passwordField = makeField(core::localized("Password", "WebBrowser"));
    m_passwordField->setSecureTextEntry(true);
    m_passwordField->setReturnKeyType(ui::TextInput::ReturnKeyType::Go);
    auto self = std::static_pointer_cast<ui::TextFieldDelegate>(
        std::static_pointer_cast<VKWebAuthenticationController>(shared_from_this()));
    m_usernameField->setDelegate(self);
    m_passwordField->setDelegate(self);

    m_securityWarningLabel = ui::Label::create();
    m_securityWarningLabel->setBackgroundColor(gfx::Color());
    m_securityWarningLabel->setFont(ui::Fonts::systemFont(ui::Fonts::SystemFontSize));
    m_securityWarningLabel->setTextColor(gfx::Color::rgb255(76, 86, 108));
    m_securityWarningLabel->setShadowColor(gfx::Color::white(1, 0.8f));
    m_securityWarningLabel->setShadowOffset({ 0, 1 });
    m_securityWarningLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_securityWarningLabel->setAutoresizingMask(ui::View::FlexibleWidth);

    form->addSubview(m_usernameField);
    form->addSubview(m_passwordField);
    form->addSubview(m_securityWarningLabel);
    form->setForm(*this);
    setView(form);
}

void VKWebAuthenticationController::viewDidLoad()
{
    ui::ViewController::viewDidLoad();
    view()->setBackgroundColor(ui::StandardColors::groupTableViewBackground());

    // Credentials of this system never carry client certificates, so the
    // password always travels as the site asks for it.
    // After a refusal the sheet says so and asks for the password again.
    const auto& proposed = m_challenge ? m_challenge->proposedCredential() : std::nullopt;
    bool refused = m_challenge && m_challenge->previousFailureCount() > 0;
    m_usernameField->setText(proposed ? proposed->user : std::string());
    m_passwordField->setText(proposed && !refused ? proposed->password : std::string());
    std::string warning = core::localized("Password will be sent in the clear", "WebBrowser");
    if (refused) {
        warning = core::localized("The name or password was not accepted.", "WebBrowser") + "\n" + warning;
        m_securityWarningLabel->setTextColor(gfx::Color::rgb255(170, 30, 30));
    }
    m_securityWarningLabel->setNumberOfLines(refused ? 2 : 1);
    m_securityWarningLabel->setText(warning);

    // The host is a server's text: one line, as plain text.
    std::string host = m_challenge ? VKWebOneLineTitle(m_challenge->protectionSpace().host) : std::string();
    std::string title = core::localized("Secure Website", "WebBrowser");
    auto& item = navigationItem();
    if (isLandscapeLayout()) {
        item.setPrompt({});
        setTitle(withObject(title + " - %@", host));
    } else {
        setTitle(title);
        item.setPrompt(withObject(core::localized("Log into %@", "WebBrowser"), host));
    }

    auto cancel = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancel->addTarget(shared_from_this(), "doCancel", [this](ui::BarButtonItem&) {
        doCancel();
    });
    auto logIn = ui::BarButtonItem::create(core::localized("Log In", "WebBrowser"), ui::BarButtonItem::Style::Done);
    logIn->addTarget(shared_from_this(), "doLogIn", [this](ui::BarButtonItem&) {
        doLogIn();
    });
    item.setLeftBarButtonItem(cancel);
    item.setRightBarButtonItem(logIn);
}

void VKWebAuthenticationController::viewWillAppear(bool animated)
{
    ui::ViewController::viewWillAppear(animated);
    view()->layoutIfNeeded();
    bool refused = m_challenge && m_challenge->previousFailureCount() > 0;
    if (refused && !m_usernameField->text().empty())
        m_passwordField->becomeFirstResponder();
    else
        m_usernameField->becomeFirstResponder();
}

// Logging in runs on the next pass, after the field has finished with its
// key: the delegate takes the sheet off the screen.
bool VKWebAuthenticationController::shouldReturn(ui::TextField& field)
{
    if (&field == m_usernameField.get()) {
        m_passwordField->becomeFirstResponder();
        return true;
    }
    auto self = std::static_pointer_cast<VKWebAuthenticationController>(shared_from_this());
    vkPerformSelectorOnNextRunLoopRun(self, [](VKWebAuthenticationController& sheet) { sheet.doLogIn(); });
    return true;
}
