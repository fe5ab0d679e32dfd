#include "PDF/VKPDFDestination.h"

#include "Platform/Core/Log.h"

#include <cmath>
#include <fmt/format.h>
#include <unordered_set>

namespace {

constexpr int kMaximumNameTreeDepth = 64;

// `value` as a fraction of the box's extent from its origin; 0 where the
// box has no extent or the quotient is no finite float.
float fraction(double value, double origin, double extent)
{
    if (!(extent > 0))
        return 0;
    float result = float((value - origin) / extent);
    return std::isfinite(result) ? result : 0;
}

// A destination array itself, or a dictionary holding it as /D.
std::optional<pdf::Array> arrayOrD(const pdf::Object& value)
{
    pdf::Array array;
    if (value.array(array))
        return array;
    pdf::Dictionary dictionary;
    if (value.dictionary(dictionary) && dictionary.array("D", array))
        return array;
    return std::nullopt;
}

} // namespace

std::string VKPDFStringFromRect(const gfx::Rect& rect)
{
    return fmt::format("{{{{{}, {}}}, {{{}, {}}}}}", rect.x(), rect.y(), rect.width(), rect.height());
}

VKPDFDestination::VKPDFDestination(std::shared_ptr<pdf::Document> documentRef, pdf::Object destObject,
    std::shared_ptr<VKPDFPageNumbers> pageNumbers)
    : m_documentRef(std::move(documentRef))
    , m_destObject(std::move(destObject))
    , m_pageNumbers(pageNumbers ? std::move(pageNumbers) : VKPDFPageNumbers::create())
{
}

std::shared_ptr<VKPDFDestination> VKPDFDestination::destinationWithDocumentRef(std::shared_ptr<pdf::Document> documentRef,
    pdf::Object destObject, std::shared_ptr<VKPDFPageNumbers> pageNumbers)
{
    return std::shared_ptr<VKPDFDestination>(
        new VKPDFDestination(std::move(documentRef), std::move(destObject), std::move(pageNumbers)));
}

std::optional<pdf::Array> VKPDFDestination::destArrayFromName(const std::string& name) const
{
    pdf::Dictionary dests;
    pdf::Object value;
    if (!m_documentRef || !m_documentRef->catalog().dictionary("Dests", dests) || !dests.object(name, value))
        return std::nullopt;
    // The file format also allows a dictionary holding the array as /D here.
    return arrayOrD(value);
}

std::optional<pdf::Array> VKPDFDestination::destArrayFromString(const pdf::String& key) const
{
    pdf::Dictionary names, node;
    if (!m_documentRef || !m_documentRef->catalog().dictionary("Names", names) || !names.dictionary("Dests", node))
        return std::nullopt;
    const std::string& wanted = key.bytes();
    // Down the tree through the first kid whose limits hold the key.
    std::unordered_set<pdf::Identity> entered;
    for (int level = 0;; ++level) {
        pdf::Array kids;
        if (!node.array("Kids", kids))
            break;
        if (level == kMaximumNameTreeDepth || !entered.insert(node.identity()).second)
            return std::nullopt;
        bool found = false;
        size_t count = kids.count();
        for (size_t i = 0; i < count && !found; ++i) {
            pdf::Dictionary kid;
            pdf::Array limits;
            pdf::String low, high;
            if (!kids.dictionary(i, kid) || !kid.array("Limits", limits) || limits.count() != 2 || !limits.string(0, low)
                || !limits.string(1, high))
                return std::nullopt;
            if (low.bytes() <= wanted && wanted <= high.bytes()) {
                node = kid;
                found = true;
            }
        }
        if (!found)
            return std::nullopt;
    }
    pdf::Array pairs;
    if (!node.array("Names", pairs))
        return std::nullopt;
    size_t count = pairs.count();
    for (size_t i = 0; i + 1 < count; i += 2) {
        pdf::String name;
        if (!pairs.string(i, name) || name.bytes() != wanted)
            continue;
        pdf::Object value;
        pairs.object(i + 1, value);
        return arrayOrD(value);
    }
    return std::nullopt;
}

std::optional<pdf::Array> VKPDFDestination::destArrayLocked() const
{
    if (m_destArray || m_destInvalid)
        return m_destArray;
    std::string name;
    pdf::String string;
    pdf::Array array;
    if (m_destObject.name(name))
        m_destArray = destArrayFromName(name);
    else if (m_destObject.string(string))
        m_destArray = destArrayFromString(string);
    else if (m_destObject.array(array))
        m_destArray = array;
    else
        return std::nullopt;
    if (!m_destArray)
        m_destInvalid = true;
    return m_destArray;
}

void VKPDFDestination::populateLocked() const
{
    if (m_pageNumber != 0 || m_destInvalid)
        return;
    std::optional<pdf::Array> array = destArrayLocked();
    // A page: a dictionary that is no node of the page tree.
    pdf::Dictionary page;
    pdf::Object kids;
    if (!m_documentRef || !array || !array->dictionary(0, page) || page.object("Kids", kids)) {
        m_destInvalid = true;
        return;
    }
    // A wrong /Count in the tree can put a page past the last one.
    int64_t number = m_pageNumbers->pageNumberForPage(page);
    if (number < 1 || number > m_documentRef->pageCount()) {
        m_destInvalid = true;
        return;
    }
    m_pageNumber = int(number);

    std::string kind;
    if (!array->name(1, kind))
        return;
    pdf::Box box = kind.starts_with("FitB") ? pdf::Box::Media : pdf::Box::Crop;
    gfx::Rect rect = m_documentRef->page(m_pageNumber).boxRect(box);
    double x0 = rect.x(), y0 = rect.y(), width = rect.width(), height = rect.height();
    double a, b, c, d;
    gfx::Rect anchor;
    if (kind == "XYZ") {
        if (array->number(2, a))
            anchor.origin.x = fraction(a, x0, width);
        if (array->number(3, b)) {
            anchor.origin.y = fraction(b, y0, height);
            m_verticalPosition = true;
        }
        // The zoom rides in the height, unscaled.
        if (array->number(4, c))
            anchor.size.height = float(c);
    } else if (kind == "Fit" || kind == "FitB") {
        anchor = gfx::Rect(0, 0, 1, 1);
    } else if (kind == "FitH" || kind == "FitBH") {
        if (array->number(2, b)) {
            float top = fraction(b, y0, height);
            anchor = gfx::Rect(0, top, 1, 1 - top);
            m_verticalPosition = true;
        }
    } else if (kind == "FitV" || kind == "FitBV") {
        if (array->number(2, a)) {
            float left = fraction(a, x0, width);
            anchor = gfx::Rect(left, 0, 1 - left, 1);
        }
    } else if (kind == "FitR") {
        // Left, bottom, right, top; y is the top, as for XYZ and FitH.
        if (array->number(2, a) && array->number(3, b) && array->number(4, c) && array->number(5, d)) {
            double left = std::min(a, c), right = std::max(a, c), bottom = std::min(b, d), top = std::max(b, d);
            anchor = gfx::Rect(fraction(left, x0, width), fraction(top, y0, height), fraction(right, left, width),
                fraction(top, bottom, height));
            m_verticalPosition = true;
        }
    }
    m_anchorRect = anchor;
}

void VKPDFDestination::warnIfUnresolved(const char* method) const
{
    if (m_pageNumber == 0 && !m_destInvalid)
        core::log("{} {}", method, "pageNumber should not be zero unless the destination is invalid");
}

int VKPDFDestination::pageNumber() const
{
    std::lock_guard lock(m_mutex);
    populateLocked();
    warnIfUnresolved("-[VKPDFDestination pageNumber]");
    return m_pageNumber;
}

gfx::Rect VKPDFDestination::anchorRect() const
{
    std::lock_guard lock(m_mutex);
    populateLocked();
    warnIfUnresolved("-[VKPDFDestination anchorRect]");
    return m_anchorRect;
}

bool VKPDFDestination::hasVerticalPosition() const
{
    std::lock_guard lock(m_mutex);
    populateLocked();
    return m_verticalPosition;
}

bool VKPDFDestination::isInvalid() const
{
    std::lock_guard lock(m_mutex);
    populateLocked();
    return m_destInvalid;
}

std::string VKPDFDestination::description() const
{
    return fmt::format("<VKPDFDestination:{} pageNumber={} anchorRect={}>", static_cast<const void*>(this), pageNumber(),
        VKPDFStringFromRect(anchorRect()));
}
