#include "PDF/VKPDFCompositeFontInfo.h"

#include "PDF/VKPDFMatrix.h"
#include "PDF/VKPDFPageScanner.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/TextFolding.h"

#include <algorithm>
#include <cmath>

struct VKPDFCompositeFontInfo::Private { };

VKPDFCompositeFontInfo::VKPDFCompositeFontInfo(const Private&)
{
}

std::shared_ptr<VKPDFCompositeFontInfo> VKPDFCompositeFontInfo::fontInfoWithFontDictionary(const pdf::Dictionary& font)
{
    std::string encoding;
    if (!font.name("Encoding", encoding))
        return nullptr;
    if (encoding != "Identity-H") {
        core::log("Warning: unsupported CID encoding {}", encoding);
        return nullptr;
    }
    auto info = std::make_shared<VKPDFCompositeFontInfo>(Private());
    pdf::Array descendants;
    pdf::Dictionary descendant;
    if (font.array("DescendantFonts", descendants) && descendants.dictionary(0, descendant))
        info->parseDescendantFontDictionary(descendant);
    info->parseToUnicodeEntry(font);
    float space = 0;
    for (const auto& [code, text] : info->m_encodingMap) {
        if (text == u" ") {
            space = info->widthForCode(code);
            break;
        }
    }
    info->setSpaceWidth(space, info->m_defaultWidth);
    countCreation();
    return info;
}

void VKPDFCompositeFontInfo::parseDescendantFontDictionary(const pdf::Dictionary& descendant)
{
    pdf::Dictionary descriptor;
    if (descendant.dictionary("FontDescriptor", descriptor))
        parseDescriptorDictionary(descriptor);
    double width = 0;
    if (descendant.number("DW", width))
        m_defaultWidth = vkPDFNarrow(width);
    pdf::Array widths;
    if (descendant.array("W", widths))
        parseWArray(widths);
}

void VKPDFCompositeFontInfo::parseWArray(const pdf::Array& widths)
{
    m_widths.clear();
    auto set = [this](int64_t code, float width) {
        if (m_widths.size() <= size_t(code))
            m_widths.resize(size_t(code) + 1, NAN);
        m_widths[size_t(code)] = width;
    };
    size_t count = widths.count();
    size_t index = 0;
    while (index < count) {
        int64_t first = 0;
        if (!widths.integer(index, first))
            break;
        first = std::clamp<int64_t>(first, -(int64_t(1) << 40), int64_t(1) << 40);
        int64_t last = 0;
        if (widths.integer(index + 1, last)) {
            double width = 0;
            if (!widths.number(index + 2, width))
                break;
            for (int64_t code = std::max<int64_t>(first, 0); code <= std::min<int64_t>(last, 65535); ++code)
                set(code, vkPDFNarrow(width));
            index += 3;
            continue;
        }
        pdf::Array run;
        if (!widths.array(index + 1, run))
            break;
        size_t runCount = run.count();
        for (size_t i = 0; i < runCount; ++i) {
            double width = 0;
            if (!run.number(i, width))
                break;
            if (first + int64_t(i) > 65535)
                break;
            if (first + int64_t(i) >= 0)
                set(first + int64_t(i), vkPDFNarrow(width));
        }
        index += 2;
    }
}

float VKPDFCompositeFontInfo::widthForCode(uint32_t code) const
{
    if (code < m_widths.size() && !std::isnan(m_widths[code]))
        return m_widths[code];
    return m_defaultWidth;
}

const std::u16string* VKPDFCompositeFontInfo::stringForCode(uint32_t code) const
{
    if (code < m_directTexts.size())
        return m_directTexts[code];
    if (code < kDirectCodes)
        return nullptr;
    auto found = m_encodingMap.find(uint16_t(code));
    return found == m_encodingMap.end() || code > 65535 ? nullptr : &found->second;
}

void VKPDFCompositeFontInfo::setCharacterString(std::u16string text, uint32_t code)
{
    if (code > 65535) {
        logIllegalCode(code);
        return;
    }
    std::u16string& stored = m_encodingMap[uint16_t(code)];
    stored = core::precomposed(text);
    if (code < kDirectCodes) {
        if (code >= m_directTexts.size())
            m_directTexts.resize(code + 1, nullptr);
        m_directTexts[code] = &stored;
    }
}

void VKPDFCompositeFontInfo::processTextString(std::string_view bytes, VKPDFPageScanner& delegate) const
{
    const GlyphBox box = glyphBox();
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t code = uint32_t(static_cast<unsigned char>(bytes[i])) << 8 | static_cast<unsigned char>(bytes[i + 1]);
        // A code without text still advances: its glyph is drawn.
        static const std::u16string none;
        const std::u16string* text = stringForCode(code);
        delegate.processCharacterString(text ? *text : none, box.rect(widthForCode(code)), false);
    }
}
