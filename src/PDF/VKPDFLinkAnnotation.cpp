#include "PDF/VKPDFLinkAnnotation.h"

#include <fmt/format.h>

std::string VKPDFLinkTargetDescription(const VKPDFLinkTarget& target)
{
    if (const auto* destination = std::get_if<std::shared_ptr<VKPDFDestination>>(&target))
        return *destination ? (*destination)->description() : std::string("(null)");
    return std::get<core::URL>(target).description();
}

VKPDFLinkAnnotation::VKPDFLinkAnnotation(const gfx::Rect& rect, VKPDFLinkTarget target)
    : m_rect(rect)
    , m_target(std::move(target))
{
}

std::shared_ptr<VKPDFLinkAnnotation> VKPDFLinkAnnotation::linkAnnotationWithRect(const gfx::Rect& rect, VKPDFLinkTarget target)
{
    return std::shared_ptr<VKPDFLinkAnnotation>(new VKPDFLinkAnnotation(rect, std::move(target)));
}

std::optional<VKPDFLinkTarget> VKPDFLinkAnnotation::targetForPoint(gfx::Point point) const
{
    if (m_rect.standardized().contains(point))
        return m_target;
    return std::nullopt;
}

std::string VKPDFLinkAnnotation::description() const
{
    return fmt::format("{} {} {}", core::Object::description(), VKPDFStringFromRect(m_rect), VKPDFLinkTargetDescription(m_target));
}
