#pragma once

#include "Cloud/VKCloudServiceAccount.h"

#include <memory>
#include <optional>
#include <string>

namespace test {

// The account of a TestCloudService: a user name the test sets, a login form
// the test may hand in, and the number of quota loads asked for.
class TestCloudServiceAccount : public VKCloudServiceAccount {
public:
    explicit TestCloudServiceAccount(std::weak_ptr<VKCloudService> service) : m_service(std::move(service)) { }

    std::shared_ptr<VKCloudService> associatedCloudService() const override { return m_service.lock(); }
    std::shared_ptr<ui::ViewController> loginViewController() override { return m_loginViewController; }
    void loadQuotaInfo() override { ++quotaLoads; }
    std::optional<std::string> userName() const override { return m_userName; }

    void setUserName(std::optional<std::string> name) { m_userName = std::move(name); }
    void setLoginViewController(std::shared_ptr<ui::ViewController> controller) { m_loginViewController = std::move(controller); }
    int quotaLoads = 0;

private:
    std::weak_ptr<VKCloudService> m_service;
    std::optional<std::string> m_userName;
    std::shared_ptr<ui::ViewController> m_loginViewController;
};

} // namespace test
