#include "DropboxSDK/UI/DBCreateAccountController.h"

#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "DropboxSDK/UI/DBFormParts.h"
#include "DropboxSDK/UI/DBLoadingView.h"
#include "DropboxSDK/UI/DBLoginController.h"
#include "DropboxSDK/UI/DBLoginControllerDelegate.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

std::shared_ptr<DBCreateAccountController> DBCreateAccountController::create()
{
    return std::make_shared<DBCreateAccountController>();
}

DBCreateAccountController::DBCreateAccountController()
{
    setTitle(core::localized(DBFormParts::isPhone() ? "Create Account" : "Create Dropbox Account"));
}

DBCreateAccountController::~DBCreateAccountController()
{
    if (m_restClient)
        m_restClient->setDelegate({});
    if (m_loadingView)
        m_loadingView->dismissAnimated(false);
}

DBRestClient& DBCreateAccountController::restClient()
{
    if (!m_restClient) {
        m_restClient = DBRestClient::initWithSession(DBSession::sharedSession());
        m_restClient->setDelegate(sharedAs<DBCreateAccountController>());
    }
    return *m_restClient;
}

std::string DBCreateAccountController::text(Row row) const
{
    return m_fields[row] ? m_fields[row]->text() : m_texts[row];
}

void DBCreateAccountController::loadView()
{
    auto self = sharedAs<DBCreateAccountController>();
    auto view = DBFormParts::backgroundView();
    setView(view);

    if (DBFormParts::isPhone()) {
        auto create = ui::BarButtonItem::create(core::localized("Create"), ui::BarButtonItem::Style::Done);
        create->addTarget(self, "didPressCreateAccount", [this](ui::BarButtonItem&) {
            didPressCreateAccount();
        });
        navigationItem().setRightBarButtonItem(create);
    } else {
        m_footerView = DBFormParts::actionFooter("db_create_account_button", self, [this] {
            didPressCreateAccount();
        }, m_activityIndicator);
    }

    m_tableView = DBFormParts::formTable(*view);
    m_tableView->setDataSource(self);
    m_tableView->setDelegate(self);
    if (!DBFormParts::isPhone())
        m_tableView->setTableHeaderView(ui::View::create({ 0, 0, DBFormParts::TableWidth, 64 }));

    const char* labels[] = { "First Name", "Last Name", "Email", "Password" };
    const char* placeholders[] = { "Jane", "Doe", "name@example.com", "Required" };
    for (int row = FirstName; row <= Password; ++row) {
        auto field = DBFormParts::field({ 108, 11, 182, 24 }, self);
        field->setPlaceholder(row == Password ? core::localized(placeholders[row]) : placeholders[row]);
        field->setReturnKeyType(row == Password ? ui::TextInput::ReturnKeyType::Done : ui::TextInput::ReturnKeyType::Next);
        field->setText(m_texts[row]);
        m_fields[row] = field;
        m_cells[row] = DBFormParts::cell(core::localized(labels[row]), field);
    }
    m_fields[Email]->setKeyboardType(ui::TextInput::KeyboardType::EmailAddress);
    m_fields[Email]->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    m_fields[Password]->setSecureTextEntry(true);
    if (m_hasCreatedAccount) {
        m_fields[Email]->setEnabled(false);
        m_fields[Password]->setEnabled(false);
    }
    view->addSubview(m_tableView);
    view->setUserInteractionEnabled(!m_working);
}

void DBCreateAccountController::viewDidUnload()
{
    for (int row = FirstName; row <= Password; ++row) {
        if (m_fields[row])
            m_texts[row] = m_fields[row]->text();
        m_fields[row].reset();
        m_cells[row].reset();
    }
    m_tableView.reset();
    m_footerView.reset();
    m_activityIndicator.reset();
}

void DBCreateAccountController::viewWillAppear(bool animated)
{
    ui::ViewController::viewWillAppear(animated);
    updateActionButton();
}

void DBCreateAccountController::viewDidAppear(bool animated)
{
    ui::ViewController::viewDidAppear(animated);
    if (m_fields[FirstName])
        m_fields[FirstName]->becomeFirstResponder();
}

bool DBCreateAccountController::shouldAutorotate(ui::Orientation orientation)
{
    return DBFormParts::isPhone() ? orientation == ui::Orientation::Portrait : ui::isInterfaceOrientation(orientation);
}

int DBCreateAccountController::numberOfRows(ui::TableView&, int)
{
    return 4;
}

std::shared_ptr<ui::TableViewCell> DBCreateAccountController::cellForRow(ui::TableView&, ui::IndexPath path)
{
    return m_cells[size_t(std::clamp(path.row, 0, 3))];
}

std::optional<float> DBCreateAccountController::heightForHeader(ui::TableView&, int)
{
    if (DBFormParts::isPhone())
        return std::nullopt;
    return DBFormParts::SectionHeaderHeight;
}

std::optional<float> DBCreateAccountController::heightForFooter(ui::TableView&, int)
{
    if (DBFormParts::isPhone())
        return std::nullopt;
    return DBFormParts::FooterHeight;
}

std::shared_ptr<ui::View> DBCreateAccountController::viewForHeader(ui::TableView&, int)
{
    return DBFormParts::isPhone() ? nullptr : DBFormParts::sectionHeader();
}

std::shared_ptr<ui::View> DBCreateAccountController::viewForFooter(ui::TableView&, int)
{
    return m_footerView;
}

void DBCreateAccountController::didSelectRow(ui::TableView& tableView, ui::IndexPath path)
{
    tableView.deselectRow(path, false);
    if (path.row >= FirstName && path.row <= Password && m_fields[path.row])
        m_fields[path.row]->becomeFirstResponder();
}

bool DBCreateAccountController::shouldChangeCharacters(ui::TextField&, core::Range, std::string_view)
{
    core::RunLoop::main().performAfter(sharedAs<DBCreateAccountController>(), 0, [](DBCreateAccountController& self) {
        self.updateActionButton();
    });
    return true;
}

bool DBCreateAccountController::shouldReturn(ui::TextField& field)
{
    for (int row = FirstName; row < Password; ++row) {
        if (&field == m_fields[row].get()) {
            m_fields[row + 1]->becomeFirstResponder();
            return true;
        }
    }
    if (&field == m_fields[Password].get())
        didPressCreateAccount();
    return true;
}

void DBCreateAccountController::updateActionButton()
{
    auto& item = navigationItem().rightBarButtonItem();
    if (!item)
        return;
    bool complete = !m_loadingView;
    for (int row = FirstName; row <= Password; ++row)
        complete = complete && !text(Row(row)).empty();
    item->setEnabled(complete);
}

void DBCreateAccountController::setWorking(bool working)
{
    m_working = working;
    DBFormParts::showWorking(working, isViewLoaded() ? view().get() : nullptr, m_activityIndicator.get(), m_loadingView,
        core::localized("Creating Account"));
    updateActionButton();
}

void DBCreateAccountController::didPressCreateAccount()
{
    struct Check {
        Row row;
        const char* title;
        const char* message;
    };
    static const Check checks[] = {
        { FirstName, "First Name Required", "Please enter your first name." },
        { LastName, "Last Name Required", "Please enter your last name." },
        { Email, "Email Address Required", "Please enter your email address." },
        { Password, "Password Required", "Please enter your desired password" },
    };
    for (const auto& check : checks) {
        if (text(check.row).empty()) {
            DBFormParts::alert(core::localized(check.title), core::localized(check.message));
            return;
        }
    }
    if (m_working)
        return;
    if (!DBFormParts::isPhone()) {
        for (auto& field : m_fields)
            if (field)
                field->resignFirstResponder();
    }
    setWorking(true);
    if (!m_hasCreatedAccount)
        restClient().createAccount(text(Email), text(Password), text(FirstName), text(LastName));
    else
        restClient().loginWithEmail(text(Email), text(Password));
}

bool DBCreateAccountController::respondsTo(DBRestClientCallback callback) const
{
    return callback == DBRestClientCallback::DidLogin || callback == DBRestClientCallback::LoginFailedWithError
        || callback == DBRestClientCallback::CreatedAccount || callback == DBRestClientCallback::CreateAccountFailedWithError;
}

void DBCreateAccountController::restClientCreatedAccount(DBRestClient& client)
{
    m_hasCreatedAccount = true;
    client.loginWithEmail(text(Email), text(Password));
}

void DBCreateAccountController::createAccountFailedWithError(DBRestClient&, const core::Error& error)
{
    setWorking(false);
    DBFormParts::alert(core::localized("Create Account Failed"),
        DBLoginController::messageForError(error, core::localized("An unknown error occured.")));
}

void DBCreateAccountController::restClientDidLogin(DBRestClient&)
{
    auto self = sharedAs<DBCreateAccountController>();
    setWorking(false);
    auto login = m_loginController.lock();
    if (login)
        login->setUserName(text(Email));
    DBLoginController::closeForms(login ? static_cast<ui::ViewController&>(*login) : *this, true);
    auto delegate = login ? login->delegate() : nullptr;
    if (delegate)
        delegate->loginControllerDidLogin(*login);
}

void DBCreateAccountController::loginFailedWithError(DBRestClient&, const core::Error&)
{
    setWorking(false);
    if (m_fields[Email])
        m_fields[Email]->setEnabled(false);
    if (m_fields[Password])
        m_fields[Password]->setEnabled(false);
    DBFormParts::alert(core::localized("Login Failed"), core::localized("Please try again."));
}
