#include "DropboxSDK/UI/DBLoginController.h"

#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "DropboxSDK/UI/DBCreateAccountController.h"
#include "DropboxSDK/UI/DBFormParts.h"
#include "DropboxSDK/UI/DBLoadingView.h"
#include "DropboxSDK/UI/DBLoginControllerDelegate.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/URLError.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

#include <algorithm>
#include <cmath>

namespace {

// Cuts at a code point boundary.
std::string bounded(std::string text, size_t limit)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (count++ == limit)
            return text.substr(0, i) + "\u2026";
    }
    return text;
}

} // namespace

std::shared_ptr<DBLoginController> DBLoginController::create()
{
    return std::make_shared<DBLoginController>();
}

DBLoginController::DBLoginController()
{
    setTitle(core::localized("Link Account"));
}

DBLoginController::~DBLoginController()
{
    if (m_restClient)
        m_restClient->setDelegate({});
    if (m_loadingView)
        m_loadingView->dismissAnimated(false);
}

bool DBLoginController::isPhone()
{
    return DBFormParts::isPhone();
}

void DBLoginController::presentFromController(ui::ViewController& controller)
{
    auto navigation = ui::NavigationController::create(sharedAs<DBLoginController>());
    if (!isPhone())
        navigation->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    controller.presentModalViewController(navigation, true);
}

DBRestClient& DBLoginController::restClient()
{
    if (!m_restClient) {
        m_restClient = DBRestClient::initWithSession(DBSession::sharedSession());
        m_restClient->setDelegate(sharedAs<DBLoginController>());
    }
    return *m_restClient;
}

std::string DBLoginController::userName() const
{
    return m_emailField ? m_emailField->text() : m_userName;
}

void DBLoginController::setUserName(std::string name)
{
    m_userName = std::move(name);
    if (m_emailField)
        m_emailField->setText(m_userName);
}

void DBLoginController::loadView()
{
    auto self = sharedAs<DBLoginController>();
    auto view = DBFormParts::backgroundView();
    setView(view);

    auto cancel = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancel->addTarget(self, "didPressCancel", [this](ui::BarButtonItem&) {
        didPressCancel();
    });
    navigationItem().setLeftBarButtonItem(cancel);
    if (isPhone()) {
        auto link = ui::BarButtonItem::create(core::localized("Link"), ui::BarButtonItem::Style::Done);
        link->addTarget(self, "didPressLogin", [this](ui::BarButtonItem&) {
            didPressLogin();
        });
        navigationItem().setRightBarButtonItem(link);
        navigationItem().setBackBarButtonItem(ui::BarButtonItem::create(core::localized("Link")));
    }

    m_tableView = DBFormParts::formTable(*view);
    m_tableView->setDataSource(self);
    m_tableView->setDelegate(self);

    auto header = ui::View::create({ 0, 0, DBFormParts::TableWidth, 152 });
    auto logo = ui::ImageView::create(ui::Images::imageNamed("db_logo.png"));
    if (logo->image()) {
        auto size = logo->image()->size();
        logo->setFrame({ std::floor(DBFormParts::TableWidth / 2 - size.width / 2), std::floor(152 / 2.f - size.height / 2) + 7, size.width, size.height });
    }
    header->addSubview(logo);
    m_tableView->setTableHeaderView(header);

    auto footer = ui::View::create({ 0, 0, DBFormParts::TableWidth, isPhone() ? 36.f : 44.f });
    auto create = ui::Button::create(ui::Button::Type::Custom, { std::floor(DBFormParts::TableWidth / 2 - 132), 0, 264, footer->bounds().size.height });
    create->setImage(ui::Images::imageNamed("db_create_account.png"), ui::Control::Normal);
    create->addTarget(self, "didPressCreateAccount", [this](ui::Control&, const ui::Event*) {
        didPressCreateAccount();
    }, ui::Control::TouchUpInside);
    footer->addSubview(create);
    m_tableView->setTableFooterView(footer);

    m_emailField = DBFormParts::field({ 100, 11, 190, 24 }, self);
    m_emailField->setPlaceholder("name@example.com");
    m_emailField->setKeyboardType(ui::TextInput::KeyboardType::EmailAddress);
    m_emailField->setReturnKeyType(ui::TextInput::ReturnKeyType::Next);
    m_emailField->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    m_emailField->setText(m_userName);
    m_emailCell = DBFormParts::cell(core::localized("Email"), m_emailField);

    m_passwordField = DBFormParts::field({ 100, 11, 190, 24 }, self);
    m_passwordField->setPlaceholder(core::localized("Required"));
    m_passwordField->setSecureTextEntry(true);
    m_passwordField->setReturnKeyType(ui::TextInput::ReturnKeyType::Done);
    m_passwordCell = DBFormParts::cell(core::localized("Password"), m_passwordField);

    if (!isPhone()) {
        m_footerView = DBFormParts::actionFooter("db_link_button", self, [this] {
            didPressLogin();
        }, m_activityIndicator);
    }
    view->addSubview(m_tableView);
    view->setUserInteractionEnabled(!m_working);
}

void DBLoginController::viewDidUnload()
{
    if (m_emailField)
        m_userName = m_emailField->text();
    m_tableView.reset();
    m_emailCell.reset();
    m_emailField.reset();
    m_passwordCell.reset();
    m_passwordField.reset();
    m_footerView.reset();
    m_activityIndicator.reset();
}

void DBLoginController::viewWillAppear(bool animated)
{
    ui::ViewController::viewWillAppear(animated);
    updateActionButton();
}

void DBLoginController::viewDidAppear(bool animated)
{
    ui::ViewController::viewDidAppear(animated);
    m_hasAppeared = true;
    if (!isPhone() && (interfaceOrientation() == ui::Orientation::Portrait || interfaceOrientation() == ui::Orientation::PortraitUpsideDown)
        && m_emailField)
        m_emailField->becomeFirstResponder();
}

void DBLoginController::viewWillDisappear(bool animated)
{
    ui::ViewController::viewWillDisappear(animated);
    m_hasAppeared = false;
}

bool DBLoginController::shouldAutorotate(ui::Orientation orientation)
{
    return isPhone() ? orientation == ui::Orientation::Portrait : ui::isInterfaceOrientation(orientation);
}

int DBLoginController::numberOfRows(ui::TableView&, int)
{
    return 2;
}

std::shared_ptr<ui::TableViewCell> DBLoginController::cellForRow(ui::TableView&, ui::IndexPath path)
{
    return path.row == 0 ? m_emailCell : m_passwordCell;
}

std::optional<float> DBLoginController::heightForHeader(ui::TableView&, int)
{
    return DBFormParts::SectionHeaderHeight;
}

std::optional<float> DBLoginController::heightForFooter(ui::TableView&, int)
{
    if (isPhone())
        return std::nullopt;
    return DBFormParts::FooterHeight;
}

std::shared_ptr<ui::View> DBLoginController::viewForHeader(ui::TableView&, int)
{
    return DBFormParts::sectionHeader();
}

std::shared_ptr<ui::View> DBLoginController::viewForFooter(ui::TableView&, int)
{
    return m_footerView;
}

void DBLoginController::didSelectRow(ui::TableView& tableView, ui::IndexPath path)
{
    // A row only hands its field the keyboard; kept selected, it would
    // draw its title in white on white.
    tableView.deselectRow(path, false);
    auto* field = path.row == 0 ? m_emailField.get() : m_passwordField.get();
    if (field)
        field->becomeFirstResponder();
}

void DBLoginController::didBeginEditing(ui::TextField&)
{
    if (isPhone() && m_tableView)
        m_tableView->setContentOffset({ 0, EditingOffset }, m_hasAppeared);
}

bool DBLoginController::shouldChangeCharacters(ui::TextField&, core::Range, std::string_view)
{
    scheduleUpdateActionButton();
    return true;
}

bool DBLoginController::shouldReturn(ui::TextField& field)
{
    if (&field == m_emailField.get() && m_passwordField)
        m_passwordField->becomeFirstResponder();
    else if (&field == m_passwordField.get())
        didPressLogin();
    return true;
}

void DBLoginController::scheduleUpdateActionButton()
{
    core::RunLoop::main().performAfter(sharedAs<DBLoginController>(), 0, [](DBLoginController& self) {
        self.updateActionButton();
    });
}

void DBLoginController::updateActionButton()
{
    auto& item = navigationItem().rightBarButtonItem();
    if (!item || !m_emailField || !m_passwordField)
        return;
    item->setEnabled(!m_emailField->text().empty() && !m_passwordField->text().empty() && !m_loadingView);
}

void DBLoginController::setWorking(bool working)
{
    m_working = working;
    DBFormParts::showWorking(working, isViewLoaded() ? view().get() : nullptr, m_activityIndicator.get(), m_loadingView,
        core::localized("Linking"));
    updateActionButton();
}

void DBLoginController::didPressLogin()
{
    std::string email = userName();
    std::string password = m_passwordField ? m_passwordField->text() : std::string();
    if (email.empty()) {
        DBFormParts::alert(core::localized("Email Required"), core::localized("Please enter your email."));
        return;
    }
    if (password.empty()) {
        DBFormParts::alert(core::localized("Password Required"), core::localized("Please enter you password."));
        return;
    }
    if (m_working)
        return;
    m_emailField->resignFirstResponder();
    m_passwordField->resignFirstResponder();
    if (isPhone() && m_tableView)
        m_tableView->setContentOffset({ 0, 0 }, true);
    setWorking(true);
    restClient().loginWithEmail(email, password);
}

void DBLoginController::didPressCancel()
{
    auto self = sharedAs<DBLoginController>();
    setWorking(false);
    closeForms(*this, true);
    if (auto delegate = m_delegate.lock())
        delegate->loginControllerDidCancel(*this);
}

void DBLoginController::didPressCreateAccount()
{
    auto* navigation = navigationController();
    if (!navigation)
        return;
    auto form = DBCreateAccountController::create();
    form->setLoginController(sharedAs<DBLoginController>());
    navigation->pushViewController(form, true);
}

void DBLoginController::closeForms(ui::ViewController& first, bool animated)
{
    auto* navigation = first.navigationController();
    if (!navigation) {
        first.dismissModalViewController(animated);
        return;
    }
    const auto& controllers = navigation->viewControllers();
    auto found = std::find_if(controllers.begin(), controllers.end(), [&](const auto& c) { return c.get() == &first; });
    if (found != controllers.end() && found != controllers.begin()) {
        navigation->popToViewController(std::prev(found)->get(), animated);
        return;
    }
    navigation->dismissModalViewController(animated);
}

std::string DBLoginController::messageForError(const core::Error& error, const std::string& fallback)
{
    if (error.domain() == net::URLErrorDomain)
        return core::localized("There was an error connecting to Dropbox.");
    std::string message = fallback;
    auto found = error.userInfo().find("error");
    if (found != error.userInfo().end()) {
        const core::Value& entry = found->second;
        if (entry.isString())
            message = entry.string();
        else if (entry.isDictionary() && !entry.dictionary().empty() && entry.dictionary().begin()->second.isString())
            message = entry.dictionary().begin()->second.string();
    }
    if (message.empty())
        message = fallback;
    return bounded(std::move(message), MaximumMessageLength);
}

bool DBLoginController::respondsTo(DBRestClientCallback callback) const
{
    return callback == DBRestClientCallback::DidLogin || callback == DBRestClientCallback::LoginFailedWithError;
}

void DBLoginController::restClientDidLogin(DBRestClient&)
{
    auto self = sharedAs<DBLoginController>();
    setWorking(false);
    closeForms(*this, true);
    if (auto delegate = m_delegate.lock())
        delegate->loginControllerDidLogin(*this);
}

void DBLoginController::loginFailedWithError(DBRestClient&, const core::Error& error)
{
    setWorking(false);
    DBFormParts::alert(core::localized("Unable to Login"), messageForError(error, core::localized("An unknown error has occurred.")));
}
