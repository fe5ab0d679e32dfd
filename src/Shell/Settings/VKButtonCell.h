#pragma once

// A settings row that acts like a button: a centred label; the page that
// owns it calls buttonPushed() when the row is selected, and the action
// runs with the row only while it is enabled.

#include "Shell/Settings/VKControlCell.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class VKButtonCell : public VKControlCell {
public:
    using Action = std::function<void(VKButtonCell& cell)>;

    // `target` is held weakly: the action is skipped once it is gone (a
    // null target always runs).
    static std::shared_ptr<VKButtonCell> initWithLabel(std::string_view label, const std::shared_ptr<core::Object>& target,
        std::string action, Action function);

    const std::string& targetSelector() const { return m_action; }
    std::shared_ptr<core::Object> buttonTarget() const { return m_target.lock(); }
    void buttonPushed();

    void layoutSubviews() override;

private:
    std::weak_ptr<core::Object> m_target;
    bool m_hasTarget = false;
    std::string m_action;
    Action m_function;
};
