#include "PDF/VKPDFDocument.h"

#include "PDF/VKPDFDestination.h"
#include "PDF/VKPDFFontInfo.h"
#include "PDF/VKPDFOutlineScanner.h"
#include "PDF/VKPDFOutlineWalk.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/PDF/Array.h"
#include "Platform/PDF/Dictionary.h"

#include <atomic>

namespace {

constexpr int64_t kFileReadUnknownError = 256;
constexpr int64_t kFileReadCorruptFileError = 259;

std::atomic<bool> dataProviderFails { false };

core::Error openingError(const char* domain, int64_t code, const char* description, const char* reason,
    const char* recoveryOption = nullptr)
{
    core::Value::Dictionary userInfo {
        { core::Error::LocalizedDescriptionKey, core::localized(description) },
        { core::Error::LocalizedFailureReasonKey, core::localized(reason) },
    };
    if (recoveryOption)
        userInfo[VKLocalizedRecoveryOptionsErrorKey] = core::Value::makeArray({ core::localized(recoveryOption) });
    return core::Error(domain, code, std::move(userInfo));
}

// Whether the catalog's page tree names any kid at all.
bool pageTreeNamesKids(const pdf::Document& document)
{
    pdf::Dictionary pages;
    pdf::Array kids;
    return document.catalog().dictionary("Pages", pages) && pages.array("Kids", kids) && kids.count() > 0;
}

// The password's UTF-8 bytes, then its Windows-1252 bytes (the older
// encryption schemes take a single-byte code page); a password without a
// Windows-1252 form, or with the same bytes in both, is tried once.
bool unlock(pdf::Document& document, const std::string& password)
{
    if (document.unlock(password))
        return true;
    std::optional<std::string> windows1252 = core::TextConverter::convertText(password, "UTF-8", "WINDOWS-1252");
    return windows1252 && *windows1252 != password && document.unlock(*windows1252);
}

} // namespace

VKPDFDocument::~VKPDFDocument()
{
    if (m_documentRef)
        VKPDFFontInfo::removeFontInfosForDocument(m_documentRef->serial());
}

VKPDFDocument::VKPDFDocument(std::shared_ptr<pdf::Document> documentRef)
    : m_documentRef(std::move(documentRef))
    , m_pageNumbers(VKPDFPageNumbers::create())
{
}

void VKPDFDocument::setDataProviderFailsForTesting(bool fails)
{
    dataProviderFails = fails;
}

std::shared_ptr<VKPDFDocument> VKPDFDocument::initWithPath(const std::string& path,
    const std::optional<std::string>& password, core::Error* error)
{
    core::Data data;
    if (!core::fs::readFile(path, data)) {
        core::setError(error,
            openingError(core::Error::CocoaDomain, kFileReadUnknownError, "Cannot open", "Unable to open file."));
        return nullptr;
    }
    return initWithData(std::move(data), password, error);
}

std::shared_ptr<VKPDFDocument> VKPDFDocument::initWithData(core::Data data, const std::optional<std::string>& password,
    core::Error* error)
{
    if (dataProviderFails) {
        core::setError(error, openingError(core::Error::CocoaDomain, kFileReadUnknownError, "Cannot read",
                                  "Unable to read data from file."));
        return nullptr;
    }
    auto documentRef = pdf::Document::open(std::move(data));
    if (!documentRef) {
        core::setError(error, openingError(core::Error::CocoaDomain, kFileReadCorruptFileError, "Unknown format",
                                  "Unable to interpret file as PDF."));
        return nullptr;
    }
    // Opening has already tried the empty password.
    if (documentRef->isLocked()) {
        if (!password) {
            core::setError(error, openingError(VKPDFErrorDomain, VKPDFErrorPasswordRequired, "Password required",
                                      "This PDF is password-protected.", "OK"));
            return nullptr;
        }
        if (!unlock(*documentRef, *password)) {
            core::setError(error, openingError(VKPDFErrorDomain, VKPDFErrorPasswordIncorrect, "Password incorrect",
                                      "Please enter the correct password.", "Retry"));
            return nullptr;
        }
    }
    // A page tree that names kids yet yields no page (it loops, or its kids
    // are no pages) leaves nothing to show: the document does not open. A
    // tree without kids is an empty document and opens as one.
    if (!documentRef->page(1) && pageTreeNamesKids(*documentRef)) {
        core::setError(error, openingError(core::Error::CocoaDomain, kFileReadCorruptFileError, "Unknown format",
                                  "Unable to interpret file as PDF."));
        return nullptr;
    }
    return std::shared_ptr<VKPDFDocument>(new VKPDFDocument(std::move(documentRef)));
}

void VKPDFDocument::addOutlineSubtree(const pdf::Dictionary& item, VKPDFOutlineList& list, int depth) const
{
    addOutlineSubtree(item, list, depth, pdf::Handle());
}

void VKPDFDocument::addOutlineSubtree(const pdf::Dictionary& item, VKPDFOutlineList& list, int depth,
    const pdf::Handle& root) const
{
    VKPDFWalkOutline(item, depth, 0, [&](const pdf::Dictionary& current, int level, int) {
        auto entry = std::make_shared<core::Value::Dictionary>();
        (*entry)["Depth"] = level;
        pdf::String title;
        if (current.string("Title", title))
            (*entry)["Title"] = title.text();
        pdf::Array color;
        double red, green, blue;
        if (current.array("C", color) && color.count() == 3 && color.number(0, red) && color.number(1, green)
            && color.number(2, blue))
            (*entry)["Color"] = core::Value::makeArray({ red, green, blue, 1.0 });
        int64_t flags = 0;
        if (current.integer("F", flags)) {
            if (flags & 1)
                (*entry)["Italic"] = true;
            if (flags & 2)
                (*entry)["Bold"] = true;
        }
        if (auto target = VKPDFOutlineScanner::destinationFromOutlineDictionaryRef(m_documentRef, current, m_pageNumbers))
            (*entry)["Target"] = core::Value(std::move(target));
        list.push_back(std::move(entry));
        return 0;
    }, root);
}

std::shared_ptr<const VKPDFOutlineList> VKPDFDocument::outlineList() const
{
    std::lock_guard lock(m_outlineMutex);
    if (m_outlineList)
        return m_outlineList;
    pdf::Dictionary outlines, first;
    if (!m_documentRef->catalog().dictionary("Outlines", outlines) || !outlines.dictionary("First", first))
        return nullptr;
    auto list = std::make_shared<VKPDFOutlineList>();
    addOutlineSubtree(first, *list, 0, outlines);
    m_outlineList = std::move(list);
    return m_outlineList;
}

VKPDFPageGeometry VKPDFDocument::pageGeometry(uint32_t index) const
{
    std::call_once(m_geometryOnce, [this] {
        uint32_t count = numPages();
        std::vector<VKPDFPageGeometry> pages;
        std::vector<pdf::Page> known;
        pages.reserve(count);
        known.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            pdf::Page page = m_documentRef->page(int(i) + 1);
            VKPDFPageGeometry geometry;
            if (page) {
                geometry.cropBox = page.boxRect(pdf::Box::Crop);
                geometry.angle = page.rotationAngle();
                gfx::Rect box = geometry.cropBox;
                geometry.rotatedBox = geometry.angle % 180 ? gfx::Rect(box.y(), box.x(), box.height(), box.width()) : box;
            }
            pages.push_back(geometry);
            known.push_back(page);
        }
        m_geometry = std::move(pages);
        m_knownPages = std::move(known);
        m_geometryRead = true;
    });
    return index < m_geometry.size() ? m_geometry[index] : VKPDFPageGeometry {};
}

std::optional<pdf::Page> VKPDFDocument::knownPage(int pageNumber) const
{
    if (!m_geometryRead || pageNumber < 1 || size_t(pageNumber) > m_knownPages.size())
        return std::nullopt;
    return m_knownPages[size_t(pageNumber) - 1];
}
