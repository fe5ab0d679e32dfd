#include "PDF/VKPDFPageAnnotationsParser.h"

#include <fmt/format.h>

namespace {

// The link's target: a GoTo or URI action, else a /Dest. Any other action
// makes no link, whatever /Dest says.
std::optional<VKPDFLinkTarget> linkTarget(const pdf::Dictionary& annotation,
    const std::shared_ptr<pdf::Document>& documentRef, const std::shared_ptr<VKPDFPageNumbers>& pageNumbers)
{
    pdf::Dictionary action;
    pdf::Object destination;
    if (annotation.dictionary("A", action)) {
        std::string kind;
        if (!action.name("S", kind))
            return std::nullopt;
        if (kind == "GoTo" && action.object("D", destination))
            return VKPDFDestination::destinationWithDocumentRef(documentRef, destination, pageNumbers);
        pdf::String uri;
        if (kind == "URI" && action.string("URI", uri)) {
            if (auto url = core::URL::parse(uri.text()))
                return *url;
        }
        return std::nullopt;
    }
    if (annotation.object("Dest", destination))
        return VKPDFDestination::destinationWithDocumentRef(documentRef, destination, pageNumbers);
    return std::nullopt;
}

// (x1, y1, x2 − x1, y2 − y1) as the file gives the corners, a corner that
// is not a number counting 0; nothing for fewer than four elements.
std::optional<gfx::Rect> linkRect(const pdf::Dictionary& annotation)
{
    pdf::Array corners;
    if (!annotation.array("Rect", corners) || corners.count() < 4)
        return std::nullopt;
    double value[4] = {};
    for (size_t i = 0; i < 4; ++i)
        corners.number(i, value[i]);
    return gfx::Rect(float(value[0]), float(value[1]), float(value[2] - value[0]), float(value[3] - value[1]));
}

} // namespace

std::unique_ptr<VKPDFPageAnnotationsParser> VKPDFPageAnnotationsParser::initWithPageRef(
    std::shared_ptr<pdf::Document> documentRef, const pdf::Page& pageRef, std::shared_ptr<VKPDFPageNumbers> pageNumbers)
{
    auto parser = std::unique_ptr<VKPDFPageAnnotationsParser>(new VKPDFPageAnnotationsParser());
    pdf::Array annotations;
    if (!pageRef || !documentRef || !pageRef.dictionary().array("Annots", annotations))
        return parser;
    if (!pageNumbers)
        pageNumbers = VKPDFPageNumbers::create();
    size_t count = annotations.count();
    for (size_t i = 0; i < count; ++i) {
        pdf::Dictionary annotation;
        std::string subtype;
        if (!annotations.dictionary(i, annotation) || !annotation.name("Subtype", subtype) || subtype != "Link")
            continue;
        std::optional<gfx::Rect> rect = linkRect(annotation);
        if (!rect)
            continue;
        if (auto target = linkTarget(annotation, documentRef, pageNumbers))
            parser->m_linkAnnotations.push_back(VKPDFLinkAnnotation::linkAnnotationWithRect(*rect, std::move(*target)));
    }
    return parser;
}

std::optional<VKPDFLinkTarget> VKPDFPageAnnotationsParser::targetForPoint(gfx::Point point) const
{
    for (const auto& link : m_linkAnnotations) {
        if (auto target = link->targetForPoint(point))
            return target;
    }
    return std::nullopt;
}

std::string VKPDFPageAnnotationsParser::description() const
{
    std::string links;
    for (const auto& link : m_linkAnnotations)
        links += fmt::format("{}    {}", links.empty() ? "\n" : ",\n", link->description());
    return fmt::format("{} ({}\n)", core::Object::description(), links);
}
