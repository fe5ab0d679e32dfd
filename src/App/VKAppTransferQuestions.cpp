#include "App/VKAppTransferQuestions.h"

#include "Shell/Interface/VKAlertView.h"
#include "Shell/VKApplication.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"

#include <fmt/format.h>

namespace {

// One shown question: the delegate of its alert, which keeps it (in its
// user info) for as long as the alert lives.
class Question : public core::Object, public ui::AlertViewDelegate {
public:
    static VKTransferQuestions::Withdrawal show(std::string title, std::string message, std::string goOn,
        VKTransferQuestions::Answer answer)
    {
        auto question = std::make_shared<Question>();
        question->m_answer = std::move(answer);
        auto alert = VKAlertView::create(std::move(title), std::move(message), question, core::localized("Cancel"),
            { std::move(goOn) });
        alert->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(question)));
        question->m_alert = alert;
        alert->show();
        return [weak = std::weak_ptr<Question>(question)] {
            if (auto question = weak.lock())
                question->withdraw();
        };
    }

    void clickedButton(ui::AlertView& alert, int index) override
    {
        auto answer = std::exchange(m_answer, nullptr);
        if (!answer)
            return;
        if (alert.tag() == VKAlertViewTagSystemCancelled)
            answer(VKTransferAnswer::Dismissed);
        else
            answer(index == alert.cancelButtonIndex() ? VKTransferAnswer::Decline : VKTransferAnswer::GoOn);
    }

private:
    void withdraw()
    {
        m_answer = nullptr;
        if (auto alert = m_alert.lock())
            alert->dismiss(alert->cancelButtonIndex(), false);
    }

    VKTransferQuestions::Answer m_answer;
    std::weak_ptr<VKAlertView> m_alert;
};

} // namespace

VKTransferQuestions::Withdrawal VKAppTransferQuestions::askToExceedQuota(uint64_t bytes, uint64_t availableBytes,
    Answer answer)
{
    auto& formatter = VKBytesFormatter::sharedFormatter();
    return Question::show(core::localized("Warning"),
        fmt::format(fmt::runtime(core::localized("The current download ({}) may exceed your remaining disk quota ({}).")),
            formatter.formatBytesAsString(bytes), formatter.formatBytesAsString(availableBytes)),
        core::localized("Continue"), std::move(answer));
}

VKTransferQuestions::Withdrawal VKAppTransferQuestions::askToOverwrite(const std::string& name,
    const std::string& serviceName, Answer answer)
{
    return Question::show(core::localized("Upload Warning"),
        fmt::format("\"{}\" already exists on {}.\nOverwrite this item?", name, serviceName), core::localized("Overwrite?"),
        std::move(answer));
}
