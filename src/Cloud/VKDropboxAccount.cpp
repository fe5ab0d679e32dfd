#include "Cloud/VKDropboxAccount.h"

#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKDropboxCloudService.h"
#include "DropboxSDK/DBAccountInfo.h"
#include "DropboxSDK/DBQuota.h"
#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "DropboxSDK/UI/DBLoginController.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"

std::shared_ptr<VKDropboxAccount> VKDropboxAccount::initWithDropboxCloudService(
    const std::shared_ptr<VKDropboxCloudService>& service)
{
    auto account = std::shared_ptr<VKDropboxAccount>(new VKDropboxAccount());
    account->m_cloudService = service;
    return account;
}

VKDropboxAccount::~VKDropboxAccount()
{
    if (m_restClient)
        m_restClient->setDelegate({});
}

std::shared_ptr<VKCloudService> VKDropboxAccount::associatedCloudService() const
{
    return m_cloudService.lock();
}

std::shared_ptr<ui::ViewController> VKDropboxAccount::loginViewController()
{
    auto form = DBLoginController::create();
    form->setDelegate(std::static_pointer_cast<VKDropboxAccount>(shared_from_this()));
    return form;
}

void VKDropboxAccount::loadQuotaInfo()
{
    if (!m_restClient) {
        m_restClient = DBRestClient::initWithSession(DBSession::sharedSession());
        m_restClient->setDelegate(std::static_pointer_cast<VKDropboxAccount>(shared_from_this()));
    }
    m_restClient->loadAccountInfo();
}

std::optional<std::string> VKDropboxAccount::userName() const
{
    auto session = DBSession::sharedSession();
    if (!session || !session->isLinked())
        return std::nullopt;
    auto name = core::UserDefaults::standard()->object(VKDropboxAccountUserNameKey);
    if (!name.isString())
        return std::nullopt;
    return name.string();
}

void VKDropboxAccount::unlink()
{
    core::UserDefaults::standard()->remove(VKDropboxAccountUserNameKey);
}

bool VKDropboxAccount::respondsTo(DBRestClientCallback callback) const
{
    return callback == DBRestClientCallback::LoadedAccountInfo
        || callback == DBRestClientCallback::LoadAccountInfoFailedWithError;
}

void VKDropboxAccount::loadedAccountInfo(DBRestClient&, const std::shared_ptr<const DBAccountInfo>& info)
{
    int64_t used = 0;
    int64_t total = 0;
    if (info && info->quota()) {
        used = info->quota()->totalConsumedBytes();
        total = info->quota()->totalBytes();
    }
    core::NotificationCenter::defaultCenter().post(VKCloudServiceAccountDidLoadInfoNotification, shared_from_this(),
        { used, total });
}

void VKDropboxAccount::loadAccountInfoFailedWithError(DBRestClient&, const core::Error&)
{
    core::NotificationCenter::defaultCenter().post(VKCloudServiceAccountLoadInfoFailedNotification, shared_from_this());
}

void VKDropboxAccount::loginControllerDidLogin(DBLoginController& controller)
{
    auto self = shared_from_this();
    core::UserDefaults::standard()->set(VKDropboxAccountUserNameKey, core::Value(controller.userName()));
    auto service = m_cloudService.lock();
    auto store = VKCloudFileStore::sharedStore();
    if (service && store && !store->managedObjectForPath(service->localPath())) {
        auto root = store->insertObjectForPath(service->localPath());
        if (root) {
            root->setIsDirectory(true);
            store->saveContext();
        } else {
            core::log("Warning, nil root node for cloud root: {}", core::path::abbreviatingWithTildeInPath(service->localPath()));
        }
    }
    core::NotificationCenter::defaultCenter().post(VKCloudServiceAccountDidLoginNotification, self);
}

void VKDropboxAccount::loginControllerDidCancel(DBLoginController&)
{
    core::NotificationCenter::defaultCenter().post(VKCloudServiceAccountDidCancelLoginNotification, shared_from_this());
}
