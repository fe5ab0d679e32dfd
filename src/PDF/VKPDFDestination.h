#pragma once

// A navigation target of an outline item, a link or a GoTo action: an
// explicit destination array, a name of the catalog's /Dests or a string of
// the /Names /Dests tree. Resolved once, on first use, to a page number and
// an anchor: the target area as fractions of the page's box, measured from
// the box's lower-left corner (y up, as in the page). A destination that
// cannot be resolved is invalid: page 0 and the zero anchor.

#include "PDF/VKPDFPageNumbers.h"
#include "Platform/Core/Object.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/PDF/Array.h"
#include "Platform/PDF/Document.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

class VKPDFDestination : public core::Object {
public:
    // Destinations of one document may share `pageNumbers` so that page
    // lookups are made once; without it the destination uses its own.
    static std::shared_ptr<VKPDFDestination> destinationWithDocumentRef(std::shared_ptr<pdf::Document> documentRef,
        pdf::Object destObject, std::shared_ptr<VKPDFPageNumbers> pageNumbers = nullptr);

    const std::shared_ptr<pdf::Document>& documentRef() const { return m_documentRef; }
    const pdf::Object& destObject() const { return m_destObject; }

    // 1-based; 0 for an invalid destination.
    int pageNumber() const;
    gfx::Rect anchorRect() const;
    // Whether the anchor's y is a position the destination gives (XYZ with
    // a top, FitH and FitBH with one, FitR). Only then does y mean a place
    // on the page; elsewhere it is 0, which is not "the bottom".
    bool hasVerticalPosition() const;
    bool isInvalid() const;

    std::optional<pdf::Array> destArrayFromName(const std::string& name) const;
    std::optional<pdf::Array> destArrayFromString(const pdf::String& key) const;

    // "<VKPDFDestination:0x… pageNumber=3 anchorRect={{0, 1}, {0, 0}}>"
    std::string description() const override;

private:
    VKPDFDestination(std::shared_ptr<pdf::Document> documentRef, pdf::Object destObject,
        std::shared_ptr<VKPDFPageNumbers> pageNumbers);
    std::optional<pdf::Array> destArrayLocked() const;
    void populateLocked() const;
    void warnIfUnresolved(const char* method) const;

    const std::shared_ptr<pdf::Document> m_documentRef;
    const pdf::Object m_destObject;
    const std::shared_ptr<VKPDFPageNumbers> m_pageNumbers;
    // Resolution happens on whichever thread asks first.
    mutable std::mutex m_mutex;
    mutable std::optional<pdf::Array> m_destArray;
    mutable bool m_destInvalid = false;
    mutable int m_pageNumber = 0;
    mutable gfx::Rect m_anchorRect;
    mutable bool m_verticalPosition = false;
};

// "{{x, y}, {width, height}}", as rectangles print in descriptions.
std::string VKPDFStringFromRect(const gfx::Rect& rect);
