#pragma once

// One link of a page: the area that answers a tap, in the page's PDF space
// as the file gives it (not normalised), and where it leads.

#include "PDF/VKPDFDestination.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>

// A place in the document or a web address.
using VKPDFLinkTarget = std::variant<std::shared_ptr<VKPDFDestination>, core::URL>;

std::string VKPDFLinkTargetDescription(const VKPDFLinkTarget& target);

class VKPDFLinkAnnotation : public core::Object {
public:
    static std::shared_ptr<VKPDFLinkAnnotation> linkAnnotationWithRect(const gfx::Rect& rect, VKPDFLinkTarget target);

    const gfx::Rect& rect() const { return m_rect; }
    const VKPDFLinkTarget& target() const { return m_target; }
    // The target when the rectangle, standardised, contains the point.
    std::optional<VKPDFLinkTarget> targetForPoint(gfx::Point point) const;

    // The standard description, the rectangle and the target.
    std::string description() const override;

private:
    VKPDFLinkAnnotation(const gfx::Rect& rect, VKPDFLinkTarget target);

    const gfx::Rect m_rect;
    const VKPDFLinkTarget m_target;
};
