#pragma once

// The sheet a web site's sign-in question gets when the browser cannot
// answer it alone: the host, a name and a password field and, when the
// password would travel unprotected, a warning. Log In and Cancel go to the
// delegate (the browser), which answers the challenge and dismisses the
// sheet. The sheet keeps the orientation it was made in: the layout for
// upright screens (the host as the bar's prompt) or the one for screens on
// their side (the host in the title, the fields side by side).

#include "Platform/UI/Orientation.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/ViewController.h"

#include <memory>
#include <string>

namespace ui {
class Label;
}
namespace web {
class AuthenticationChallenge;
}

class VKWebAuthenticationController;

class VKWebAuthenticationControllerDelegate {
public:
    virtual ~VKWebAuthenticationControllerDelegate() = default;
    // Log In (the button, or Return in the password field).
    virtual void webAuthenticationControllerDidEnd(VKWebAuthenticationController& sheet) = 0;
    virtual void webAuthenticationControllerDidCancel(VKWebAuthenticationController& sheet) = 0;
};

class VKWebAuthenticationController : public ui::ViewController, public ui::TextFieldDelegate {
public:
    static std::shared_ptr<VKWebAuthenticationController> initWithAuthenticationChallenge(
        std::shared_ptr<web::AuthenticationChallenge> challenge,
        std::weak_ptr<VKWebAuthenticationControllerDelegate> delegate);
    VKWebAuthenticationController();
    ~VKWebAuthenticationController() override;

    const std::shared_ptr<web::AuthenticationChallenge>& challenge() const { return m_challenge; }
    std::string username() const;
    std::string password() const;
    // Made with the view.
    ui::TextField* usernameField() const { return m_usernameField.get(); }
    ui::TextField* passwordField() const { return m_passwordField.get(); }
    ui::Label* securityWarningLabel() const { return m_securityWarningLabel.get(); }
    ui::Orientation initialOrientation() const { return m_initialOrientation; }
    bool isLandscapeLayout() const;
    std::shared_ptr<VKWebAuthenticationControllerDelegate> delegate() const { return m_delegate.lock(); }

    void doLogIn();
    void doCancel();

    // ViewController.
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotate(ui::Orientation orientation) override { return orientation == m_initialOrientation; }

    // TextFieldDelegate.
    bool shouldReturn(ui::TextField& field) override;

private:
    std::shared_ptr<web::AuthenticationChallenge> m_challenge;
    std::shared_ptr<ui::TextField> m_usernameField;
    std::shared_ptr<ui::TextField> m_passwordField;
    std::shared_ptr<ui::Label> m_securityWarningLabel;
    ui::Orientation m_initialOrientation = ui::Orientation::Portrait;
    std::weak_ptr<VKWebAuthenticationControllerDelegate> m_delegate;
};
