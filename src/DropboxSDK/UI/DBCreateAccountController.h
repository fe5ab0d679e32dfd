#pragma once

// The sign-up form pushed from the login form: first and last name, e-mail
// and password. Once the service has made the account it logs in with the
// new e-mail and password; if only that login fails, the account stays made,
// the e-mail and password are locked and Create logs in again.

#include "DropboxSDK/DBRestClientDelegate.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Platform/UI/TableViewDelegate.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/ViewController.h"

#include <array>

class DBLoadingView;
class DBLoginController;
class DBRestClient;

namespace ui {
class ActivityIndicator;
class TableView;
}

class DBCreateAccountController : public ui::ViewController,
                                  public ui::TableViewDataSource,
                                  public ui::TableViewDelegate,
                                  public ui::TextFieldDelegate,
                                  public DBRestClientDelegate {
public:
    enum Row { FirstName = 0, LastName = 1, Email = 2, Password = 3 };

    static std::shared_ptr<DBCreateAccountController> create();
    DBCreateAccountController();
    ~DBCreateAccountController() override;

    std::shared_ptr<DBLoginController> loginController() const { return m_loginController.lock(); }
    void setLoginController(std::weak_ptr<DBLoginController> controller) { m_loginController = std::move(controller); }

    void didPressCreateAccount();

    bool hasCreatedAccount() const { return m_hasCreatedAccount; }
    bool isWorking() const { return m_working; }
    DBRestClient& restClient();
    ui::TextField* field(Row row) const { return m_fields[row].get(); }
    ui::TableView* tableView() const { return m_tableView.get(); }
    ui::ActivityIndicator* activityIndicator() const { return m_activityIndicator.get(); }
    DBLoadingView* loadingView() const { return m_loadingView.get(); }

    void loadView() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    bool shouldAutorotate(ui::Orientation orientation) override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override;
    std::optional<float> heightForHeader(ui::TableView&, int section) override;
    std::optional<float> heightForFooter(ui::TableView&, int section) override;
    std::shared_ptr<ui::View> viewForHeader(ui::TableView&, int section) override;
    std::shared_ptr<ui::View> viewForFooter(ui::TableView&, int section) override;
    void didSelectRow(ui::TableView&, ui::IndexPath path) override;

    bool shouldChangeCharacters(ui::TextField&, core::Range range, std::string_view replacement) override;
    bool shouldReturn(ui::TextField& field) override;

    bool respondsTo(DBRestClientCallback callback) const override;
    void restClientCreatedAccount(DBRestClient&) override;
    void createAccountFailedWithError(DBRestClient&, const core::Error& error) override;
    void restClientDidLogin(DBRestClient&) override;
    void loginFailedWithError(DBRestClient&, const core::Error& error) override;

private:
    std::string text(Row row) const;
    void setWorking(bool working);
    void updateActionButton();

    std::weak_ptr<DBLoginController> m_loginController;
    bool m_hasCreatedAccount = false;
    bool m_working = false;
    std::shared_ptr<ui::TableView> m_tableView;
    std::array<std::shared_ptr<ui::TableViewCell>, 4> m_cells;
    std::array<std::shared_ptr<ui::TextField>, 4> m_fields;
    // What the fields held when the view was unloaded.
    std::array<std::string, 4> m_texts;
    std::shared_ptr<ui::View> m_footerView;
    std::shared_ptr<ui::ActivityIndicator> m_activityIndicator;
    std::shared_ptr<DBLoadingView> m_loadingView;
    std::shared_ptr<DBRestClient> m_restClient;
};
