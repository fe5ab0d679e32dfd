#pragma once

// What alerts and action sheets share: a title, a row of titled buttons
// addressed by index (indexes never move once given), a cancel index, and
// the life of a shown choice. A tap on a button and a dismissal in code take
// the same path: clicked, will-dismiss, removal, then did-dismiss (after the
// fade when animated), so a caller that sets a tag just before dismissing is
// seen by its delegate. The subclass places itself on the screen and tells
// its own delegate.

#include "Platform/Core/Observation.h"
#include "Platform/UI/View.h"

#include <optional>
#include <string>
#include <vector>

namespace ui {

class Button;

class ChoiceView : public View {
public:
    static constexpr double PresentDuration = 0.3;
    static constexpr double DismissDuration = 0.2;

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);

    // Appends a button; answers its index.
    int addButton(std::string title);
    int numberOfButtons() const { return int(m_buttons.size()); }
    // NSRangeException outside 0 ..< numberOfButtons.
    std::string buttonTitle(int index) const;
    // The button at `index` (null outside the range), for the driver.
    Button* button(int index) const;
    int cancelButtonIndex() const { return m_cancelIndex; }
    // −1: none. Any other value outside the buttons' range is kept but
    // names no button.
    void setCancelButtonIndex(int index);

    bool isVisible() const { return m_visible; }
    // Delivers clicked, will-dismiss and did-dismiss with `index` as given
    // and takes the choice off the screen; nothing when it is not shown.
    void dismiss(int index, bool animated);

    std::string debugText() const override { return m_title; }
    // Escape dismisses a shown choice by its cancel index (−1: none, as the
    // system's dismissal); the arrows highlight its buttons in the order
    // they show, and Return presses the highlighted one, else its default
    // button; no other key reaches what is under it.
    bool performKeyCommand(KeyCommand command) override;
    // The button Return presses: the one the caller chose, else the kind's
    // own (none by default).
    virtual std::optional<int> defaultButtonIndex() const { return std::nullopt; }
    // Chooses the button Return presses (−1: the kind's own), for a choice
    // whose safe answer is not the kind's default, as an acknowledgement
    // beside an offer.
    void setPreferredButtonIndex(int index) { m_preferredIndex = index; }
    // An alert's default: its one button other than cancel, or cancel when
    // alone; none among several.
    static std::optional<int> soleChoice(int buttons, int cancelIndex);

protected:
    ChoiceView();

    // The delegate's calls, made by the subclass.
    virtual void sendWillPresent() = 0;
    virtual void sendDidPresent() = 0;
    virtual void sendClicked(int index) = 0;
    virtual void sendWillDismiss(int index) = 0;
    virtual void sendDidDismiss(int index) = 0;
    // Takes the choice (and what came with it) out of its window.
    virtual void removeFromScreen() = 0;
    // Whether the button at `index` is shown (a sheet at an anchor has none for cancel).
    virtual bool showsButton(int index) const
    {
        (void)index;
        return true;
    }

    // Call once the choice is on the screen: will-present now, did-present
    // after the presentation.
    void presented(bool animated);
    // The buttons by index.
    const std::vector<std::shared_ptr<Button>>& buttons() const { return m_buttons; }

    // A shown choice stands upright in the interface, which turns inside
    // its window: the interface's space is the window's bounds turned to
    // the status bar's orientation, with its origin at the interface's top
    // left. The choice lays out in that space and is placed from it; it
    // lays out again when the interface turns.
    static gfx::Rect interfaceBounds(const Window& window);
    static gfx::AffineTransform interfaceToWindow(const Window& window);
    // Places the choice at `rect` of its window's interface space.
    void placeInInterface(const gfx::Rect& rect);
    virtual std::shared_ptr<Button> makeButton(const std::string& title);

private:
    void buttonPressed(int index);
    // Highlights the shown button `step` places from the key's one.
    void moveKeyHighlight(int step);

    std::string m_title;
    std::vector<std::shared_ptr<Button>> m_buttons;
    int m_cancelIndex = -1;
    core::Observation m_interfaceTurned;
    bool m_visible = false;
    bool m_dismissing = false;
    std::optional<int> m_keyHighlight;
    int m_preferredIndex = -1;
};

// The delegate of an alert or a sheet.
template<typename Choice> class ChoiceDelegate {
public:
    virtual ~ChoiceDelegate() = default;
    virtual void clickedButton(Choice& choice, int index) { (void)choice, (void)index; }
    virtual void willPresent(Choice& choice) { (void)choice; }
    virtual void didPresent(Choice& choice) { (void)choice; }
    virtual void willDismiss(Choice& choice, int index) { (void)choice, (void)index; }
    virtual void didDismiss(Choice& choice, int index) { (void)choice, (void)index; }
};

// A choice that tells its own kind of delegate.
template<typename Self> class DelegatingChoiceView : public ChoiceView {
public:
    using Delegate = ChoiceDelegate<Self>;
    std::shared_ptr<Delegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<Delegate> delegate) { m_delegate = std::move(delegate); }

protected:
    void sendWillPresent() override
    {
        if (auto d = delegate())
            d->willPresent(self());
    }
    void sendDidPresent() override
    {
        if (auto d = delegate())
            d->didPresent(self());
    }
    void sendClicked(int index) override
    {
        if (auto d = delegate())
            d->clickedButton(self(), index);
    }
    void sendWillDismiss(int index) override
    {
        if (auto d = delegate())
            d->willDismiss(self(), index);
    }
    void sendDidDismiss(int index) override
    {
        if (auto d = delegate())
            d->didDismiss(self(), index);
    }

private:
    Self& self() { return static_cast<Self&>(*this); }
    std::weak_ptr<Delegate> m_delegate;
};

} // namespace ui
