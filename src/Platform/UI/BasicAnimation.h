#pragma once

// An animation of one key path between values: from and to, or by (an
// offset added to from, or to the model value). A missing end takes the
// model value. A key path the layer does not animate is kept and stops
// normally but changes nothing drawn.

#include "Platform/UI/Animation.h"

#include <optional>

namespace ui {

class BasicAnimation : public Animation {
public:
    explicit BasicAnimation(std::string keyPath = {}) : m_keyPath(std::move(keyPath)) { }

    const std::string& keyPath() const { return m_keyPath; }
    void setKeyPath(std::string keyPath) { m_keyPath = std::move(keyPath); }
    const std::optional<AnimatedValue>& fromValue() const { return m_from; }
    void setFromValue(std::optional<AnimatedValue> value) { m_from = std::move(value); }
    const std::optional<AnimatedValue>& toValue() const { return m_to; }
    void setToValue(std::optional<AnimatedValue> value) { m_to = std::move(value); }
    const std::optional<AnimatedValue>& byValue() const { return m_by; }
    void setByValue(std::optional<AnimatedValue> value) { m_by = std::move(value); }

protected:
    void fill(LayerAnimation& record, const Layer& layer) const override;

private:
    std::string m_keyPath;
    std::optional<AnimatedValue> m_from;
    std::optional<AnimatedValue> m_to;
    std::optional<AnimatedValue> m_by;
};

} // namespace ui
