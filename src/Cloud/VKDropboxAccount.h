#pragma once

#include "Cloud/VKCloudServiceAccount.h"
#include "DropboxSDK/DBRestClientDelegate.h"
#include "DropboxSDK/UI/DBLoginControllerDelegate.h"

#include <memory>

class DBRestClient;
class VKDropboxCloudService;

// The settings key of the linked account's user name (its e-mail).
inline constexpr const char* VKDropboxAccountUserNameKey = "VKDropboxAccountUserName";

// The account of the cloud service: its login form, the linked user's name
// and the quota, loaded through a REST client of its own and reported as
// notifications. The service owns it.
class VKDropboxAccount : public VKCloudServiceAccount, public DBRestClientDelegate, public DBLoginControllerDelegate {
public:
    static std::shared_ptr<VKDropboxAccount> initWithDropboxCloudService(
        const std::shared_ptr<VKDropboxCloudService>& service);
    ~VKDropboxAccount() override;

    std::shared_ptr<VKCloudService> associatedCloudService() const override;
    // A new login form per call, the account its delegate.
    std::shared_ptr<ui::ViewController> loginViewController() override;
    void loadQuotaInfo() override;
    // The stored name while the shared session is linked.
    std::optional<std::string> userName() const override;
    // Forgets the stored name.
    void unlink();

    bool respondsTo(DBRestClientCallback callback) const override;
    void loadedAccountInfo(DBRestClient&, const std::shared_ptr<const DBAccountInfo>& info) override;
    void loadAccountInfoFailedWithError(DBRestClient&, const core::Error& error) override;

    // Keeps the form's e-mail as the user's name, gives the service's folder
    // a node in the mirror store when it has none, and tells the program.
    void loginControllerDidLogin(DBLoginController& controller) override;
    void loginControllerDidCancel(DBLoginController& controller) override;

private:
    VKDropboxAccount() = default;

    std::shared_ptr<DBRestClient> m_restClient;
    std::weak_ptr<VKDropboxCloudService> m_cloudService;
};
