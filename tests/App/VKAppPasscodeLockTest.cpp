#include "App/VKAppPasscodeLock.h"

#include "Shell/VKKeychain.h"
#include "Shell/VKPasscodeController.h"
#include "Shell/VKRootPasscodeController.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Support/UITestCase.h"

#include <optional>
#include <string_view>
#include <vector>

namespace {

class VKAppPasscodeLockTest : public test::UITestCase {
protected:
    static void storePasscode(std::optional<std::string_view> passcode)
    {
        VKKeychain::sharedKeychain()->setPassword(passcode, VKPasscodeLockService, VKPasscodeLockService);
    }
    std::vector<bool> letIn;
    std::shared_ptr<VKAppPasscodeLock> lock = VKAppPasscodeLock::create([this](bool guest) { letIn.push_back(guest); });
};

TEST_F(VKAppPasscodeLockTest, OnlyFourDigitsAreAPasscode)
{
    EXPECT_FALSE(VKAppPasscodeLock::keychainPasscode());
    storePasscode("1234");
    EXPECT_EQ(VKAppPasscodeLock::keychainPasscode(), "1234");
    storePasscode("0000");
    EXPECT_EQ(VKAppPasscodeLock::keychainPasscode(), "0000");
    for (const char* stored : { "12345", "12a4", " 123", "123", "1234\n", "١٢٣٤" }) {
        storePasscode(stored);
        EXPECT_FALSE(VKAppPasscodeLock::keychainPasscode()) << stored;
    }
    storePasscode("");
    EXPECT_FALSE(VKAppPasscodeLock::keychainPasscode());
    storePasscode(std::nullopt);
    EXPECT_FALSE(VKAppPasscodeLock::keychainPasscode());
}

TEST_F(VKAppPasscodeLockTest, TheRightPasscodeOrTheGuestButtonLetInAndNothingElse)
{
    storePasscode("1234");
    lock->guestButtonClicked();
    EXPECT_TRUE(letIn.empty()) << "no lock, no guest";

    lock->show(true, false, nullptr, nullptr);
    ASSERT_TRUE(lock->isUp());
    auto& entry = *lock->controller()->passcodeController();
    EXPECT_EQ(entry.delegate().get(), static_cast<VKPasscodeControllerDelegate*>(lock.get()));
    ASSERT_TRUE(entry.navigationItem().rightBarButtonItem());
    EXPECT_EQ(entry.navigationItem().rightBarButtonItem()->title(), "Guest Access");

    entry.hiddenField().setText("4321");
    lock->passcodeEnteredForController(entry);
    EXPECT_TRUE(letIn.empty());
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 1);
    entry.hiddenField().setText("1234");
    lock->passcodeEnteredForController(entry);
    EXPECT_EQ(letIn, std::vector<bool> { false });
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 0);
    lock->guestButtonClicked();
    EXPECT_EQ(letIn, (std::vector<bool> { false, true }));
    EXPECT_TRUE(lock->isUp()) << "the lock stays up for its owner to take down";

    // Shown again without guest access: the same lock, no guest button.
    auto* same = lock->controller().get();
    lock->show(false, false, nullptr, nullptr);
    EXPECT_EQ(lock->controller().get(), same);
    EXPECT_FALSE(entry.navigationItem().rightBarButtonItem());
    lock->dismiss(false, nullptr);
    EXPECT_FALSE(lock->isUp());
}

} // namespace
