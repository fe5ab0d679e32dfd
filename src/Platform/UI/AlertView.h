#pragma once

// An alert: a title, a message and buttons, shown in the toolkit's alert
// window (level 2000, dimmed, key while an alert shows) as a direct subview,
// so that it is found by walking the application's windows. Two buttons sit
// side by side, cancel on the left; more stack, cancel last. Subclasses may
// add their own subviews and place them after the base layout, for example
// above buttonRowRect().

#include "Platform/UI/ChoiceView.h"

#include <optional>

namespace ui {

class AlertView;
class Label;

using AlertViewDelegate = ChoiceDelegate<AlertView>;

class AlertView : public DelegatingChoiceView<AlertView> {
public:
    static constexpr float Width = 284;
    static constexpr float ButtonHeight = 43;
    static constexpr float ButtonSpacing = 8;
    static constexpr float Margin = 11;

    // The cancel button (when given) is 0, the others follow in order.
    static std::shared_ptr<AlertView> create(std::string title, std::string message,
        std::weak_ptr<AlertViewDelegate> delegate = {}, std::optional<std::string> cancelTitle = std::nullopt,
        const std::vector<std::string>& otherTitles = {});
    AlertView();
    ~AlertView() override;
    // What create() does, for subclasses that make their own alerts.
    static void setUp(AlertView& alert, std::string title, std::string message, std::weak_ptr<AlertViewDelegate> delegate,
        std::optional<std::string> cancelTitle, const std::vector<std::string>& otherTitles);

    const std::string& message() const { return m_message; }
    virtual void setMessage(std::string message);
    // The first button that is not cancel; −1 when there is none.
    int firstOtherButtonIndex() const;

    // Shows the alert in front of the other shown ones.
    void show();

    // Where the first row of buttons sits, in the alert's coordinates.
    gfx::Rect buttonRowRect() const { return m_buttonRow; }
    void layoutSubviews() override;
    // Its one button other than cancel, or cancel when alone.
    std::optional<int> defaultButtonIndex() const override;

    // The window shown alerts live in (null while none shows).
    static std::shared_ptr<Window> alertWindowForTesting();
    // Drops the alert window (test environment).
    static void resetForTesting();

protected:
    void removeFromScreen() override;
    // Room (points) a subclass's own views take between the message and the
    // buttons; the alert grows by it.
    virtual float accessoryHeight() const { return 0; }

private:
    std::string m_message;
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<Label> m_messageLabel;
    gfx::Rect m_buttonRow;
};

} // namespace ui
