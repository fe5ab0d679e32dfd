#pragma once

class DBLoginController;

// Hears how the login form ended: linked (the session holds the new token)
// or cancelled. A failed login stays inside the form.
class DBLoginControllerDelegate {
public:
    virtual ~DBLoginControllerDelegate() = default;
    virtual void loginControllerDidLogin(DBLoginController& controller) = 0;
    virtual void loginControllerDidCancel(DBLoginController& controller) = 0;
};
