#pragma once

// One page of an open document; it keeps the document alive. Boxes and
// rotation follow the inheritance rules of the page tree and read as the
// renderer reads them.

#include "Platform/Graphics/Geometry.h"
#include "Platform/PDF/Dictionary.h"

#include <memory>

namespace pdf {

enum class Box { Media, Crop, Bleed, Trim, Art };

class Page {
public:
    Page() = default;

    explicit operator bool() const { return m_number > 0; }
    int pageNumber() const { return m_number; }

    Dictionary dictionary() const;

    // The box, standardised. MediaBox is inherited and reads (0, 0, 612, 792)
    // when no readable one exists; CropBox is inherited, defaults to the
    // MediaBox and is clipped to it; BleedBox, TrimBox and ArtBox default to
    // the CropBox and are clipped to the MediaBox.
    gfx::Rect boxRect(Box box) const;
    // The inherited /Rotate as 0, 90, 180 or 270 (clockwise); an angle that
    // is not a multiple of 90 reads as 0.
    int rotationAngle() const;

    // Maps the box into `rect`: turned clockwise by the page's angle plus
    // `rotate` (a multiple of 90), scaled down to fit (uniformly when
    // `preserveAspectRatio`, never up) and centred.
    gfx::AffineTransform drawingTransform(Box box, const gfx::Rect& rect, int rotate, bool preserveAspectRatio) const;

    // The same for a given box and angle.
    static gfx::AffineTransform drawingTransform(const gfx::Rect& box, int angle, const gfx::Rect& rect, bool preserveAspectRatio);

private:
    friend class Document;
    friend struct detail::HandleAccess;
    Page(std::shared_ptr<detail::DocumentSource> document, int number) : m_document(std::move(document)), m_number(number) { }
    std::shared_ptr<detail::DocumentSource> m_document;
    int m_number = 0;
};

} // namespace pdf
