#include "PDF/VKPDFPageScanner.h"

#include "PDF/VKPDFPage.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

namespace {

bool isFinite(const gfx::Rect& rect)
{
    return std::isfinite(rect.x()) && std::isfinite(rect.y()) && std::isfinite(rect.width()) && std::isfinite(rect.height());
}

// A text string as UTF-16 without lone surrogates (U+FFFD stands for
// each): UTF-16 after its byte order mark, else UTF-8 or PDFDocEncoding.
std::u16string actualTextUnits(const pdf::String& string)
{
    const std::string& bytes = string.bytes();
    bool big = bytes.starts_with("\xFE\xFF"), little = bytes.starts_with("\xFF\xFE");
    if (!big && !little)
        return core::toUTF16(string.text());
    std::u16string units;
    units.reserve((bytes.size() - 2) / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        auto high = static_cast<unsigned char>(bytes[big ? i : i + 1]), low = static_cast<unsigned char>(bytes[big ? i + 1 : i]);
        units.push_back(char16_t(high << 8 | low));
    }
    for (size_t i = 0; i < units.size(); ++i) {
        bool lead = units[i] >= 0xD800 && units[i] <= 0xDBFF, trail = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (lead && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            ++i;
        else if (lead || trail)
            units[i] = 0xFFFD;
    }
    return units;
}

} // namespace

// The operator callbacks. Operands pop last first; a failed pop ends the
// operator there.
struct VKPDFPageScanner::Operators {
    static VKPDFPageScanner& self(void* info) { return *static_cast<VKPDFPageScanner*>(info); }

    static bool popMatrix(pdf::Scanner& scanner, VKPDFMatrix& out)
    {
        double f, e, d, c, b, a;
        if (!scanner.popNumber(f) || !scanner.popNumber(e) || !scanner.popNumber(d) || !scanner.popNumber(c)
            || !scanner.popNumber(b) || !scanner.popNumber(a))
            return false;
        out = { a, b, c, d, e, f };
        return true;
    }

    static void beginText(pdf::Scanner&, void* info)
    {
        VKPDFPageScanner& scanner = self(info);
        scanner.m_textMatrix = {};
        scanner.m_textLineMatrix = {};
        scanner.textStateChanged();
    }

    static void concatMatrix(pdf::Scanner& pdfScanner, void* info)
    {
        VKPDFMatrix matrix;
        if (!popMatrix(pdfScanner, matrix))
            return;
        State& state = self(info).m_state;
        state.transform = matrix.concatenating(state.transform);
        self(info).textStateChanged();
    }

    static void saveState(pdf::Scanner&, void* info)
    {
        VKPDFPageScanner& scanner = self(info);
        if (scanner.m_savedStates.size() < kMaximumSavedStates)
            scanner.m_savedStates.push_back(scanner.m_state);
        else
            ++scanner.m_unsavedLevels;
    }

    static void restoreState(pdf::Scanner&, void* info)
    {
        VKPDFPageScanner& scanner = self(info);
        if (scanner.m_unsavedLevels > 0) {
            --scanner.m_unsavedLevels;
        } else if (!scanner.m_savedStates.empty()) {
            scanner.m_state = std::move(scanner.m_savedStates.back());
            scanner.m_savedStates.pop_back();
            scanner.textStateChanged();
        }
    }

    static void nextLine(pdf::Scanner&, void* info) { self(info).nextLine(); }

    static void characterSpacing(pdf::Scanner& pdfScanner, void* info)
    {
        double value;
        if (pdfScanner.popNumber(value))
            self(info).m_state.characterSpacing = value;
    }

    static void moveLine(pdf::Scanner& pdfScanner, void* info)
    {
        double ty, tx;
        if (pdfScanner.popNumber(ty) && pdfScanner.popNumber(tx))
            self(info).moveLine(tx, ty);
    }

    static void moveLineSettingLeading(pdf::Scanner& pdfScanner, void* info)
    {
        double ty, tx;
        if (!pdfScanner.popNumber(ty) || !pdfScanner.popNumber(tx))
            return;
        self(info).moveLine(tx, ty);
        self(info).m_state.leading = -ty;
    }

    static void selectFont(pdf::Scanner& pdfScanner, void* info)
    {
        VKPDFPageScanner& scanner = self(info);
        double size;
        if (pdfScanner.popNumber(size))
            scanner.m_state.fontSize = size;
        scanner.textStateChanged();
        std::string name;
        if (pdfScanner.popName(name))
            scanner.m_state.font = scanner.fontNamed(name, pdfScanner);
    }

    static void showText(pdf::Scanner& pdfScanner, void* info)
    {
        pdf::String string;
        if (pdfScanner.popString(string))
            self(info).processTextString(string);
    }

    static void showTextArray(pdf::Scanner& pdfScanner, void* info)
    {
        pdf::Array array;
        if (!pdfScanner.popArray(array))
            return;
        VKPDFPageScanner& scanner = self(info);
        for (size_t i = 0, count = array.count(); i < count; ++i) {
            pdf::String string;
            double number;
            if (array.string(i, string))
                scanner.processTextString(string);
            else if (array.number(i, number))
                scanner.processTextKerning(number);
        }
    }

    static void leading(pdf::Scanner& pdfScanner, void* info)
    {
        double value;
        if (pdfScanner.popNumber(value))
            self(info).m_state.leading = value;
    }

    static void textMatrix(pdf::Scanner& pdfScanner, void* info)
    {
        VKPDFMatrix matrix;
        if (!popMatrix(pdfScanner, matrix))
            return;
        self(info).m_textMatrix = matrix;
        self(info).m_textLineMatrix = matrix;
        self(info).textStateChanged();
    }

    static void rise(pdf::Scanner& pdfScanner, void* info)
    {
        double value;
        if (pdfScanner.popNumber(value))
            self(info).m_state.rise = value;
        self(info).textStateChanged();
    }

    static void wordSpacing(pdf::Scanner& pdfScanner, void* info)
    {
        double value;
        if (pdfScanner.popNumber(value))
            self(info).m_state.wordSpacing = value;
    }

    static void horizontalScaling(pdf::Scanner& pdfScanner, void* info)
    {
        double value;
        if (pdfScanner.popNumber(value))
            self(info).m_state.horizontalScaling = value * 0.01;
        self(info).textStateChanged();
    }

    static void nextLineShowText(pdf::Scanner& pdfScanner, void* info)
    {
        pdf::String string;
        if (!pdfScanner.popString(string))
            return;
        self(info).nextLine();
        self(info).processTextString(string);
    }

    static void drawObject(pdf::Scanner& pdfScanner, void* info)
    {
        std::string name;
        pdf::Object object;
        if (pdfScanner.popName(name) && pdfScanner.resource("XObject", name, object))
            self(info).drawForm(object, pdfScanner);
    }

    static void beginMarkedContent(pdf::Scanner& pdfScanner, void* info) { self(info).beginMarkedContent({}, pdfScanner); }

    static void beginMarkedContentWithProperties(pdf::Scanner& pdfScanner, void* info)
    {
        pdf::Object properties;
        pdfScanner.popObject(properties);
        self(info).beginMarkedContent(properties, pdfScanner);
    }

    static void endMarkedContent(pdf::Scanner&, void* info) { self(info).endMarkedContent(); }

    static void nextLineShowTextSpaced(pdf::Scanner& pdfScanner, void* info)
    {
        VKPDFPageScanner& scanner = self(info);
        pdf::String string;
        if (!pdfScanner.popString(string))
            return;
        double value;
        if (pdfScanner.popNumber(value))
            scanner.m_state.characterSpacing = value;
        if (pdfScanner.popNumber(value))
            scanner.m_state.wordSpacing = value;
        scanner.nextLine();
        scanner.processTextString(string);
    }
};

const pdf::OperatorTable& VKPDFPageScanner::sharedOperatorTable()
{
    static const pdf::OperatorTable* table = [] {
        auto* operators = new pdf::OperatorTable;
        operators->setCallback("BT", Operators::beginText);
        operators->setCallback("cm", Operators::concatMatrix);
        operators->setCallback("q", Operators::saveState);
        operators->setCallback("Q", Operators::restoreState);
        operators->setCallback("T*", Operators::nextLine);
        operators->setCallback("Tc", Operators::characterSpacing);
        operators->setCallback("Td", Operators::moveLine);
        operators->setCallback("TD", Operators::moveLineSettingLeading);
        operators->setCallback("Tf", Operators::selectFont);
        operators->setCallback("Tj", Operators::showText);
        operators->setCallback("TJ", Operators::showTextArray);
        operators->setCallback("TL", Operators::leading);
        operators->setCallback("Tm", Operators::textMatrix);
        operators->setCallback("Ts", Operators::rise);
        operators->setCallback("Tw", Operators::wordSpacing);
        operators->setCallback("Tz", Operators::horizontalScaling);
        operators->setCallback("'", Operators::nextLineShowText);
        operators->setCallback("\"", Operators::nextLineShowTextSpaced);
        operators->setCallback("Do", Operators::drawObject);
        operators->setCallback("BMC", Operators::beginMarkedContent);
        operators->setCallback("BDC", Operators::beginMarkedContentWithProperties);
        operators->setCallback("EMC", Operators::endMarkedContent);
        return operators;
    }();
    return *table;
}

std::shared_ptr<VKPDFPageScanner> VKPDFPageScanner::create(const pdf::Page& page)
{
    return std::shared_ptr<VKPDFPageScanner>(new VKPDFPageScanner(page));
}

std::shared_ptr<VKPDFPageScanner> VKPDFPageScanner::create(const VKPDFPage& page)
{
    return create(page.pageRef());
}

VKPDFPageScanner::VKPDFPageScanner(const pdf::Page& page)
    : m_pageRef(page)
    , m_rotationTransform(VKPDFPageGetDrawingTransform(page, pdf::Box::Crop, VKPDFPageGetRotatedBoxRect(page), 0, true))
    , m_pageFrame(page.boxRect(pdf::Box::Crop))
    , m_hasPageFrame(!m_pageFrame.isNull())
    , m_pageLeft(m_pageFrame.minX())
    , m_pageBottom(m_pageFrame.minY())
    , m_pageRight(m_pageFrame.maxX())
    , m_pageTop(m_pageFrame.maxY())
{
}

void VKPDFPageScanner::scan()
{
    m_state = State();
    textStateChanged();
    m_savedStates.clear();
    m_unsavedLevels = 0;
    m_formStack.clear();
    m_formScans = 0;
    m_contentBudget = pdf::Scanner::kMaximumContentBytes;
    m_marked = MarkedContent();
    m_pageFonts.clear();
    pdf::Scanner scanner(m_pageRef, sharedOperatorTable(), this);
    scanner.scan();
    endOpenActualText();
    m_savedStates.clear();
    m_state.font.reset();
    m_pageFonts.clear();
}

std::shared_ptr<VKPDFFontInfo> VKPDFPageScanner::fontNamed(const std::string& name, const pdf::Scanner& scanner)
{
    if (!m_formStack.empty())
        return VKPDFFontInfo::fontInfoForName(name, scanner);
    for (const auto& [known, font] : m_pageFonts) {
        if (known == name)
            return font;
    }
    std::shared_ptr<VKPDFFontInfo> font = VKPDFFontInfo::fontInfoForName(name, scanner);
    if (m_pageFonts.size() < kMaximumPageFonts)
        m_pageFonts.emplace_back(name, font);
    return font;
}

void VKPDFPageScanner::drawForm(const pdf::Object& object, const pdf::Scanner& scanner)
{
    pdf::Stream form;
    std::string subtype;
    if (!object.stream(form) || !form.dictionary().name("Subtype", subtype) || subtype != "Form")
        return;
    pdf::Dictionary dictionary = form.dictionary();
    // The renderer draws no form without a box, so it shows no text either.
    pdf::Array box;
    double value = 0;
    if (!dictionary.array("BBox", box) || box.count() != 4 || !box.number(3, value))
        return;
    pdf::Identity identity = object.identity();
    if (m_formStack.size() >= kMaximumFormDepth || m_formScans >= kMaximumFormScans || m_contentBudget == 0
        || std::find(m_formStack.begin(), m_formStack.end(), identity) != m_formStack.end())
        return;
    ++m_formScans;

    // The form's matrix maps form space into the space current where it is
    // drawn, so it goes before the current transform.
    State saved = m_state;
    VKPDFMatrix textMatrix = m_textMatrix, textLineMatrix = m_textLineMatrix;
    pdf::Array matrix;
    double m[6];
    if (dictionary.array("Matrix", matrix) && matrix.count() == 6 && matrix.number(0, m[0]) && matrix.number(1, m[1])
        && matrix.number(2, m[2]) && matrix.number(3, m[3]) && matrix.number(4, m[4]) && matrix.number(5, m[5]))
        m_state.transform = VKPDFMatrix { m[0], m[1], m[2], m[3], m[4], m[5] }.concatenating(m_state.transform);
    textStateChanged();
    // The form's own q and Q pair among themselves: a Q too many cannot
    // reach the levels saved outside it.
    std::vector<State> outerStates = std::move(m_savedStates);
    m_savedStates.clear();
    size_t outerUnsavedLevels = std::exchange(m_unsavedLevels, 0);
    // So do its BDCs and EMCs.
    MarkedContent outerMarked = m_marked;
    m_marked.floor = m_marked.depth;

    m_formStack.push_back(identity);
    pdf::Scanner formScanner(form, scanner, sharedOperatorTable(), this);
    formScanner.setContentLimit(m_contentBudget);
    formScanner.scan();
    m_contentBudget -= std::min(formScanner.contentBytes(), m_contentBudget);
    m_formStack.pop_back();

    // Whatever the form left unbalanced goes with it.
    endOpenActualText();
    m_marked = outerMarked;
    m_savedStates = std::move(outerStates);
    m_unsavedLevels = outerUnsavedLevels;
    m_state = std::move(saved);
    m_textMatrix = textMatrix;
    m_textLineMatrix = textLineMatrix;
    textStateChanged();
}

void VKPDFPageScanner::beginMarkedContent(const pdf::Object& properties, const pdf::Scanner& scanner)
{
    ++m_marked.depth;
    if (m_marked.actualTextDepth != 0)
        return; // the outer span's text stands for everything inside it
    pdf::Dictionary dictionary;
    std::string name;
    if (!properties.dictionary(dictionary)) {
        pdf::Object named;
        if (!properties.name(name) || !scanner.resource("Properties", name, named) || !named.dictionary(dictionary))
            return;
    }
    pdf::String actualText;
    if (dictionary.string("ActualText", actualText) && beginActualText(actualTextUnits(actualText)))
        m_marked.actualTextDepth = m_marked.depth;
}

void VKPDFPageScanner::endMarkedContent()
{
    if (m_marked.depth <= m_marked.floor)
        return;
    if (m_marked.actualTextDepth == m_marked.depth) {
        m_marked.actualTextDepth = 0;
        endActualText();
    }
    --m_marked.depth;
}

void VKPDFPageScanner::endOpenActualText()
{
    if (m_marked.actualTextDepth > m_marked.floor) {
        m_marked.actualTextDepth = 0;
        endActualText();
    }
}

bool VKPDFPageScanner::beginActualText(std::u16string)
{
    return false;
}

void VKPDFPageScanner::endActualText()
{
}

void VKPDFPageScanner::processTextString(const pdf::String& string)
{
    if (m_state.font) {
        m_stringCodes = string.bytes().size() / m_state.font->bytesPerCode();
        m_state.font->processTextString(string.bytes(), *this);
    }
}

void VKPDFPageScanner::processTextKerning(double amount)
{
    advanceTextMatrix(amount * -0.001 * m_state.fontSize * m_state.horizontalScaling);
}

void VKPDFPageScanner::advanceTextMatrix(double amount)
{
    VKPDFMatrix& t = m_textMatrix;
    RenderingBasis& basis = m_renderingBasis;
    if (basis.movesKeepLinear) {
        // The origin as translated() moves it, term for term.
        t.tx = amount * t.a + basis.zeroC + t.tx;
        t.ty = amount * t.b + basis.zeroD + t.ty;
        return;
    }
    const VKPDFMatrix moved = t.translated(amount, 0);
    // The linear part comes out the same, but for a zero's sign or a NaN
    // where it holds zeros or infinities.
    if (std::bit_cast<uint64_t>(moved.a) == std::bit_cast<uint64_t>(t.a)
        && std::bit_cast<uint64_t>(moved.b) == std::bit_cast<uint64_t>(t.b)
        && std::bit_cast<uint64_t>(moved.c) == std::bit_cast<uint64_t>(t.c)
        && std::bit_cast<uint64_t>(moved.d) == std::bit_cast<uint64_t>(t.d)) {
        basis.movesKeepLinear = true;
        basis.zeroC = 0 * t.c;
        basis.zeroD = 0 * t.d;
    } else {
        textStateChanged();
    }
    t = moved;
}

void VKPDFPageScanner::updateRenderingMatrix()
{
    const State& state = m_state;
    const VKPDFMatrix& t = m_textMatrix;
    const VKPDFMatrix& ctm = state.transform;
    RenderingBasis& basis = m_renderingBasis;
    if (!basis.valid) {
        const VKPDFMatrix parameters { state.fontSize * state.horizontalScaling, 0, 0, state.fontSize, 0, state.rise };
        const VKPDFMatrix linear = parameters.concatenating({ t.a, t.b, t.c, t.d, 0, 0 }).concatenating(ctm);
        basis = { true, linear.a, linear.b, linear.c, linear.d, parameters.tx * t.a + parameters.ty * t.c,
            parameters.tx * t.b + parameters.ty * t.d };
    }
    const double x = basis.riseX + t.tx, y = basis.riseY + t.ty;
    m_renderingMatrix = { basis.a, basis.b, basis.c, basis.d, x * ctm.a + y * ctm.c + ctm.tx, x * ctm.b + y * ctm.d + ctm.ty };
}

void VKPDFPageScanner::processCharacterString(const std::u16string& text, gfx::Rect glyphRect, bool addWordSpacing)
{
    const State& state = m_state;
    updateRenderingMatrix();
    m_glyphRect = glyphRect;
    gfx::Rect renderRect = m_renderingMatrix.apply(glyphRect);
    // Touching the crop box counts (edges included; the render rectangle
    // has no negative size), as does a character without area; a glyph
    // without text only moves on, unless actual text stands for it.
    const bool touchesPage = m_hasPageFrame && renderRect.x() <= m_pageRight
        && renderRect.x() + renderRect.width() >= m_pageLeft && renderRect.y() <= m_pageTop
        && renderRect.y() + renderRect.height() >= m_pageBottom;
    if ((!text.empty() || m_marked.actualTextDepth != 0) && isFinite(renderRect) && touchesPage)
        processCharacterString(text, renderRect);
    double advance = (double(glyphRect.width()) * state.fontSize + state.characterSpacing
                         + (addWordSpacing ? state.wordSpacing : 0))
        * state.horizontalScaling;
    advanceTextMatrix(advance);
}

void VKPDFPageScanner::processCharacterString(const std::u16string&, gfx::Rect)
{
}

void VKPDFPageScanner::nextLine()
{
    moveLine(0, -m_state.leading);
}

void VKPDFPageScanner::moveLine(double tx, double ty)
{
    m_textLineMatrix = m_textLineMatrix.translated(tx, ty);
    m_textMatrix = m_textLineMatrix;
    textStateChanged();
}
