#include "App/VKAppTransferQuestions.h"

#include "Shell/Interface/VKAlertView.h"
#include "Shell/VKApplication.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"

#include <fmt/format.h>

#include <optional>
#include <vector>

namespace {

// One shown question: the delegate of its alert, which keeps it (in its
// user info) for as long as the alert lives.
class Question : public core::Object, public ui::AlertViewDelegate {
public:
    // Without `goOn` the one button is "OK", which declines.
    static VKTransferQuestions::Withdrawal show(std::string title, std::string message, std::optional<std::string> goOn,
        VKTransferQuestions::Answer answer)
    {
        auto question = std::make_shared<Question>();
        question->m_answer = std::move(answer);
        std::vector<std::string> others;
        if (goOn)
            others.push_back(std::move(*goOn));
        auto alert = VKAlertView::create(std::move(title), std::move(message), question,
            core::localized(goOn ? "Cancel" : "OK"), std::move(others));
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
    bool mayGoOn, Answer answer)
{
    auto& formatter = VKBytesFormatter::sharedFormatter();
    const char* message = mayGoOn ? "The current download ({}) may exceed your remaining disk quota ({})."
                                  : "The current download ({}) does not fit in your remaining disk quota ({}) and was stopped.";
    return Question::show(core::localized("Warning"),
        fmt::format(fmt::runtime(core::localized(message)), formatter.formatBytesAsString(bytes),
            formatter.formatBytesAsString(availableBytes)),
        mayGoOn ? std::optional<std::string>(core::localized("Continue")) : std::nullopt, std::move(answer));
}

VKTransferQuestions::Withdrawal VKAppTransferQuestions::askToOverwrite(const std::string& name,
    const std::string& serviceName, Answer answer)
{
    return Question::show(core::localized("Upload Warning"),
        fmt::format("\"{}\" already exists on {}.\nOverwrite this item?", name, serviceName), core::localized("Overwrite?"),
        std::move(answer));
}
