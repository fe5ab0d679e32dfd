#pragma once

// Darkens the content behind an input field while the keyboard is up for
// it, in step with the keyboard's own animation, and turns a tap on the
// darkened area into the end of editing. It reacts only to the keyboard of
// the responders it watches (held weakly), so other fields on the screen
// leave it alone.

#include "Platform/Core/Observation.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/View.h"

#include <memory>
#include <vector>

class VKKeyboardDimmingView;

class VKKeyboardDimmingViewDelegate {
public:
    virtual ~VKKeyboardDimmingViewDelegate() = default;
    // A touch on the dimmed area ended the editing.
    virtual void keyboardDimmingViewDidReceiveTouches(VKKeyboardDimmingView& view) = 0;
};

class VKKeyboardDimmingView : public ui::View {
public:
    static constexpr const char* AnimationName = "VKWebBrowserControllerDimmingAnimation";
    static constexpr float DimmedAlpha = 0.5f;

    static std::shared_ptr<VKKeyboardDimmingView> create(std::vector<std::weak_ptr<ui::Responder>> responders);
    VKKeyboardDimmingView();
    ~VKKeyboardDimmingView() override;

    std::shared_ptr<VKKeyboardDimmingViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKKeyboardDimmingViewDelegate> delegate) { m_delegate = std::move(delegate); }

    void touchesBegan(const ui::TouchSet& touches, const ui::Event& event) override;

private:
    // Begins the dimming animation with the keyboard's duration and curve
    // (the interface's turn when the keyboard gives none), from what shows.
    void beginAnimationWithKeyboardChange(const ui::Keyboard::Change& change);
    void keyboardWillShow(const ui::Keyboard::Change& change);
    void keyboardWillHide(const ui::Keyboard::Change& change);
    void keyboardDidHide();
    bool isWatched(const ui::View* responder) const;

    std::vector<std::weak_ptr<ui::Responder>> m_responders;
    std::weak_ptr<VKKeyboardDimmingViewDelegate> m_delegate;
    // Posted on the main thread only: the observers call this view directly
    // (see core::Observation).
    core::Observation m_willShow;
    core::Observation m_willHide;
    core::Observation m_didHide;
};
