#pragma once

// The "Link Account" form: e-mail and password over the service's artwork,
// a client of its own on the shared session, and a way to the sign-up form.
// The phone shows the working state as a loading overlay over the window,
// the tablet as a spinner in the form's footer; refusals come back as an
// alert with the service's own reason and leave the form as typed.

#include "DropboxSDK/DBRestClientDelegate.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Platform/UI/TableViewDelegate.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/ViewController.h"

class DBLoadingView;
class DBLoginControllerDelegate;
class DBRestClient;

namespace ui {
class ActivityIndicator;
class Button;
class TableView;
}

class DBLoginController : public ui::ViewController,
                          public ui::TableViewDataSource,
                          public ui::TableViewDelegate,
                          public ui::TextFieldDelegate,
                          public DBRestClientDelegate {
public:
    // How far an edit scrolls the phone's table, so the fields clear the keyboard.
    static constexpr float EditingOffset = 150;
    // A refusal's text is cut to this many characters.
    static constexpr size_t MaximumMessageLength = 1000;

    static std::shared_ptr<DBLoginController> create();
    DBLoginController();
    ~DBLoginController() override;

    std::shared_ptr<DBLoginControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<DBLoginControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    // Wraps the form in a navigation controller (a form sheet on a tablet)
    // and presents it from the given controller.
    void presentFromController(ui::ViewController& controller);

    void didPressLogin();
    void didPressCancel();
    void didPressCreateAccount();

    // The e-mail as typed: what the account keeps as the user's name. It
    // outlives the view (a memory warning) and is what a sign-up hands over.
    std::string userName() const;
    void setUserName(std::string name);

    bool isWorking() const { return m_working; }
    DBRestClient& restClient();
    // The ones that exist only while the view is loaded.
    ui::TextField* emailField() const { return m_emailField.get(); }
    ui::TextField* passwordField() const { return m_passwordField.get(); }
    ui::TableView* tableView() const { return m_tableView.get(); }
    ui::ActivityIndicator* activityIndicator() const { return m_activityIndicator.get(); }
    DBLoadingView* loadingView() const { return m_loadingView.get(); }

    // The service's reason for a refused login or sign-up: a network
    // failure names the connection, else the error's "error" entry (text, or
    // the text under the first key of a dictionary), else the fallback.
    static std::string messageForError(const core::Error& error, const std::string& fallback);
    // Phone, or a device that cannot tell.
    static bool isPhone();
    // Closes the forms after a login or a cancel: pops to the controller
    // below the first form when the forms were pushed, else dismisses the
    // presentation that holds them.
    static void closeForms(ui::ViewController& first, bool animated);

    void loadView() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotate(ui::Orientation orientation) override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override;
    std::optional<float> heightForHeader(ui::TableView&, int section) override;
    std::optional<float> heightForFooter(ui::TableView&, int section) override;
    std::shared_ptr<ui::View> viewForHeader(ui::TableView&, int section) override;
    std::shared_ptr<ui::View> viewForFooter(ui::TableView&, int section) override;
    void didSelectRow(ui::TableView&, ui::IndexPath path) override;

    void didBeginEditing(ui::TextField&) override;
    bool shouldChangeCharacters(ui::TextField&, core::Range range, std::string_view replacement) override;
    bool shouldReturn(ui::TextField& field) override;

    bool respondsTo(DBRestClientCallback callback) const override;
    void restClientDidLogin(DBRestClient&) override;
    void loginFailedWithError(DBRestClient&, const core::Error& error) override;

private:
    void setWorking(bool working);
    void updateActionButton();
    void scheduleUpdateActionButton();

    std::weak_ptr<DBLoginControllerDelegate> m_delegate;
    std::shared_ptr<ui::TableView> m_tableView;
    std::shared_ptr<ui::TableViewCell> m_emailCell;
    std::shared_ptr<ui::TextField> m_emailField;
    std::shared_ptr<ui::TableViewCell> m_passwordCell;
    std::shared_ptr<ui::TextField> m_passwordField;
    std::shared_ptr<ui::View> m_footerView;
    std::shared_ptr<ui::ActivityIndicator> m_activityIndicator;
    std::shared_ptr<DBLoadingView> m_loadingView;
    std::shared_ptr<DBRestClient> m_restClient;
    std::string m_userName;
    bool m_hasAppeared = false;
    bool m_working = false;
};
