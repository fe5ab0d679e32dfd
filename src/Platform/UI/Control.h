#pragma once

// A control: a view that tracks a touch and turns it into actions for the
// control events it sees (touch down, drags in and out with a 70-point
// tolerance, touch up inside or outside, cancel, value and editing
// changes). Targets are held weakly. A disabled control takes no touches.

#include "Platform/UI/TargetAction.h"
#include "Platform/UI/View.h"

namespace ui {

class Control : public View {
public:
    // The device's numbers.
    enum State : unsigned { Normal = 0, Highlighted = 1, Disabled = 2, Selected = 4 };
    enum Events : unsigned {
        TouchDown = 1u << 0,
        TouchDownRepeat = 1u << 1,
        TouchDragInside = 1u << 2,
        TouchDragOutside = 1u << 3,
        TouchDragEnter = 1u << 4,
        TouchDragExit = 1u << 5,
        TouchUpInside = 1u << 6,
        TouchUpOutside = 1u << 7,
        TouchCancel = 1u << 8,
        ValueChanged = 1u << 12,
        EditingDidBegin = 1u << 16,
        EditingChanged = 1u << 17,
        EditingDidEnd = 1u << 18,
        EditingDidEndOnExit = 1u << 19,
        AllTouchEvents = 0x00000FFFu,
        AllEditingEvents = 0x000F0000u,
        ApplicationReserved = 0x0F000000u,
        SystemReserved = 0xF0000000u,
        AllEvents = 0xFFFFFFFFu,
    };
    enum class ContentHorizontalAlignment { Center = 0, Left = 1, Right = 2, Fill = 3 };
    enum class ContentVerticalAlignment { Center = 0, Top = 1, Bottom = 2, Fill = 3 };

    static constexpr float TouchTolerance = 70;

    using Action = std::function<void(Control& sender, const Event* event)>;

    // An empty action name throws NSInvalidArgumentException.
    void addTarget(const std::shared_ptr<core::Object>& target, std::string action, Action function, unsigned events);
    void removeTarget(const core::Object* target, std::string_view action, unsigned events);
    std::vector<std::shared_ptr<core::Object>> allTargets() const { return m_targets.allTargets(); }
    std::vector<std::string> actions(const core::Object* target, unsigned events) const
    {
        return m_targets.actions(target, events);
    }
    unsigned allControlEvents() const { return m_targets.allEvents(); }
    // Every pair in the order added, pairs without a target included.
    const TargetActionList<Control&, const Event*>& targets() const { return m_targets; }
    // Runs the live actions registered for any of `events`.
    virtual void sendActions(unsigned events, const Event* event = nullptr);

    bool isEnabled() const { return m_enabled; }
    virtual void setEnabled(bool enabled);
    bool isSelected() const { return m_selected; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { return m_highlighted; }
    virtual void setHighlighted(bool highlighted);
    unsigned state() const;

    ContentHorizontalAlignment contentHorizontalAlignment() const { return m_horizontalAlignment; }
    void setContentHorizontalAlignment(ContentHorizontalAlignment alignment);
    ContentVerticalAlignment contentVerticalAlignment() const { return m_verticalAlignment; }
    void setContentVerticalAlignment(ContentVerticalAlignment alignment);

    bool isTracking() const { return m_tracking; }
    bool isTouchInside() const { return m_touchInside; }

    // Tracking hooks: answering false from begin or continue ends tracking.
    virtual bool beginTracking(const Touch& touch, const Event& event);
    virtual bool continueTracking(const Touch& touch, const Event& event);
    virtual void endTracking(const Touch* touch, const Event* event);
    virtual void cancelTracking(const Event* event);

    View* hitTest(gfx::Point point, const Event* event = nullptr) override;
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void touchesCancelled(const TouchSet& touches, const Event& event) override;

protected:
    // Whether a point is within the tracking tolerance around the bounds
    // (what counts as inside while tracking and at the touch's end).
    virtual bool isWithinTolerance(gfx::Point point) const;

private:
    TargetActionList<Control&, const Event*> m_targets;
    bool m_enabled = true;
    bool m_selected = false;
    bool m_highlighted = false;
    bool m_tracking = false;
    bool m_touchInside = false;
    ContentHorizontalAlignment m_horizontalAlignment = ContentHorizontalAlignment::Center;
    ContentVerticalAlignment m_verticalAlignment = ContentVerticalAlignment::Center;
};

} // namespace ui
