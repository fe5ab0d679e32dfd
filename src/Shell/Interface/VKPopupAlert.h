#pragma once

// The system's own light alert: a translucent popup drawn from stretchable
// artwork over a dimmed screen, with a title, an optional one-line text
// field and a row of buttons. It asks for folder names, new names and
// passwords. It is shown centred in a window (above the keyboard when it has
// a field), over a view, or below one (pointing at a bar item), and, being
// no controller's view, turns itself with the status bar. The system's
// dismissal of alerts takes it too (VKSystemDismissibleAlert).

#include "Shell/VKSystemDismissibleAlert.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/Value.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/View.h"

#include <memory>
#include <string>
#include <vector>

namespace ui {
class BarButtonItem;
class Button;
class Label;
class TextField;
} // namespace ui

class VKPopupAlert;

// The room the keyboard takes below a centred popup with a field.
inline constexpr float VKKeyboardHeightPortrait = 215;
inline constexpr float VKKeyboardHeightLandscape = 162;

class VKPopupAlertDelegate {
public:
    virtual ~VKPopupAlertDelegate() = default;
    // The button chosen (or the index a dismissal in code passed on).
    virtual void popupAlert(VKPopupAlert& alert, int buttonIndex)
    {
        (void)alert;
        (void)buttonIndex;
    }
};

class VKPopupAlert : public ui::View, public VKSystemDismissibleAlert {
public:
    // Where the popup stands: below its target view, over it, or centred
    // in the window.
    enum Mode { Below = 0, Over = 1, Centered = 2 };

    static std::shared_ptr<VKPopupAlert> create(std::string title, std::weak_ptr<VKPopupAlertDelegate> delegate = {});
    VKPopupAlert();
    ~VKPopupAlert() override;

    std::string title() const;
    void setTitle(std::string title);
    std::shared_ptr<VKPopupAlertDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKPopupAlertDelegate> delegate) { m_delegate = std::move(delegate); }
    const core::Value& userInfo() const { return m_userInfo; }
    void setUserInfo(core::Value userInfo) { m_userInfo = std::move(userInfo); }

    // Each answers the new button's index. A tap dismisses the popup with
    // that index, animated.
    int addButtonWithTitle(std::string title);
    int addCancelButtonWithTitle(std::string title);
    int numberOfButtons() const { return int(m_buttons.size()); }
    ui::Button* buttonAtIndex(int index) const;
    // −1 until set; the cancel button wears the cancel artwork.
    int cancelButtonIndex() const override { return m_cancelButtonIndex; }
    void setCancelButtonIndex(int index);

    // Made on the first call; later calls set the placeholder and text.
    void addTextFieldWithPlaceholder(std::string placeholder, std::string text);
    ui::TextField* textField() const { return m_textField.get(); }

    // Centred in the key window.
    void show();
    // Below the item's laid-out view; centred when it has none.
    void showFromBarButtonItem(const ui::BarButtonItem& item);
    void showOverView(std::shared_ptr<ui::View> view);
    void showBelowView(std::shared_ptr<ui::View> view);
    // A window as `view` (or none) centres the popup in that window (the key
    // window); another view becomes the target and the popup goes into its
    // window. A popup shows once and never after its dismissal: later calls
    // are ignored.
    void showWithMode(Mode mode, std::shared_ptr<ui::View> view);
    Mode popupMode() const { return m_mode; }
    bool isShown() const { return m_shown; }

    // The first call tells the delegate `index` (as given, even out of
    // range) and takes the popup away: the field resigns, the buttons stop
    // taking touches, the popup fades (when animated) and leaves its window
    // on the pass after. Later calls do nothing.
    void dismissWithClickedButtonIndex(int index, bool animated) override;
    bool isDismissed() const { return m_dismissed; }

    // Geometry, in the popup's own space (the screen turned to the status
    // bar's orientation).
    gfx::EdgeInsets contentInsets() const;
    gfx::Rect popupRect() const;
    gfx::Rect contentRect() const;
    gfx::Size buttonSize() const;
    bool isLandscapeGeometry() const;
    ui::StretchableImage backgroundImage() const;

    void layoutSubviews() override;
    // Return presses its one button other than cancel, Escape cancels; no
    // other key reaches what is under it.
    bool performKeyCommand(ui::KeyCommand command) override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;

    // The bundle's artwork, stretchable.
    static ui::StretchableImage buttonBackgroundImage();
    static ui::StretchableImage buttonPressedBackgroundImage();
    static ui::StretchableImage cancelButtonBackgroundImage();
    static ui::StretchableImage backgroundOverImage();
    static ui::StretchableImage backgroundBelowImage();

private:
    void setupGeometry();
    void willChangeStatusBarOrientation();
    void didChangeStatusBarOrientation();
    void handleButtonTap(ui::Button& button);
    // The title's frame for layout: at the content's top, no height when
    // there is no title.
    gfx::Rect titleFrame(const gfx::Rect& content) const;

    std::shared_ptr<ui::Label> m_titleLabel;
    std::shared_ptr<ui::TextField> m_textField;
    std::vector<std::shared_ptr<ui::Button>> m_buttons;
    int m_cancelButtonIndex = -1;
    std::weak_ptr<VKPopupAlertDelegate> m_delegate;
    core::Value m_userInfo;
    std::shared_ptr<ui::View> m_targetView;
    // Where the target stood when it was let go, so that a fading popup
    // stays where it was.
    gfx::Rect m_targetFrame;
    Mode m_mode = Centered;
    bool m_shown = false;
    bool m_dismissed = false;
    // Posted on the main thread only: the observers call this alert directly
    // (see core::Observation).
    core::Observation m_willChangeOrientation;
    core::Observation m_didChangeOrientation;
    core::Observation m_didResizeScreen;
};
