#pragma once

// A transition: the layer's new look replaces a picture of its old one
// ("fade", "moveIn", "push", "reveal"; subtypes "fromRight", "fromLeft",
// "fromTop", "fromBottom"). The old picture is the layer's area of the
// renderer's previous frame, transparent when there was none. Added under
// "transition" unless a key is given.

#include "Platform/UI/Animation.h"

namespace ui {

class Transition : public Animation {
public:
    static constexpr const char* Key = "transition";

    explicit Transition(std::string type = "fade", std::string subtype = {})
        : m_type(std::move(type)), m_subtype(std::move(subtype)) { }

    const std::string& type() const { return m_type; }
    void setType(std::string type) { m_type = std::move(type); }
    const std::string& subtype() const { return m_subtype; }
    void setSubtype(std::string subtype) { m_subtype = std::move(subtype); }

protected:
    void fill(LayerAnimation& record, const Layer& layer) const override;

private:
    std::string m_type;
    std::string m_subtype;
};

} // namespace ui
