#pragma once

// The links of one page, read from its /Annots in order, so that a tap on
// the page can be turned into a destination or a web address.

#include "PDF/VKPDFLinkAnnotation.h"
#include "PDF/VKPDFPageNumbers.h"
#include "Platform/Core/Object.h"
#include "Platform/PDF/Document.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKPDFPageAnnotationsParser : public core::Object {
public:
    // `documentRef` is the page's document, which destinations resolve in.
    static std::unique_ptr<VKPDFPageAnnotationsParser> initWithPageRef(std::shared_ptr<pdf::Document> documentRef,
        const pdf::Page& pageRef, std::shared_ptr<VKPDFPageNumbers> pageNumbers = nullptr);

    const std::vector<std::shared_ptr<VKPDFLinkAnnotation>>& linkAnnotations() const { return m_linkAnnotations; }
    // The target of the first link, in annotation order, containing the
    // point (in the page's PDF space).
    std::optional<VKPDFLinkTarget> targetForPoint(gfx::Point point) const;

    // The standard description and the links.
    std::string description() const override;

private:
    VKPDFPageAnnotationsParser() = default;

    std::vector<std::shared_ptr<VKPDFLinkAnnotation>> m_linkAnnotations;
};
