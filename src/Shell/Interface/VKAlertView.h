#pragma once

// An alert that carries a value for its delegate and can show a spinner
// above its buttons while work goes on ("Preparing attachments..."). With a
// spinner the message keeps two empty lines at its end (an empty message is
// two empty lines), which make the room the spinner sits in.

#include "Platform/Core/Value.h"
#include "Platform/UI/AlertView.h"

namespace ui {
class ActivityIndicator;
}

class VKAlertView : public ui::AlertView {
public:
    // Between the spinner's bottom and the first row of buttons.
    static constexpr float SpinnerGap = 8;

    static std::shared_ptr<VKAlertView> create(std::string title, std::string message,
        std::weak_ptr<ui::AlertViewDelegate> delegate = {}, std::optional<std::string> cancelTitle = std::nullopt,
        const std::vector<std::string>& otherTitles = {});
    ~VKAlertView() override;

    const core::Value& userInfo() const { return m_userInfo; }
    void setUserInfo(core::Value userInfo) { m_userInfo = std::move(userInfo); }

    // Adds a running spinner (once), gray to show on the light alert, and
    // sets the message again so that it makes room for it.
    void addActivityIndicator();
    ui::ActivityIndicator* activityIndicator() const { return m_activityIndicator.get(); }

    void setMessage(std::string message) override;
    // Centres the spinner across the alert, just above the buttons; without
    // buttons it stays where it is.
    void layoutSubviews() override;

private:
    core::Value m_userInfo;
    std::shared_ptr<ui::ActivityIndicator> m_activityIndicator;
};
