#pragma once

// The decoder of Type0 fonts under the Identity-H encoding: two-byte codes
// (equal to the CIDs), texts from the ToUnicode map only, widths from the
// descendant font's W array and DW. Other CMaps are not read.

#include "PDF/VKPDFFontInfo.h"

#include <unordered_map>
#include <vector>

class VKPDFCompositeFontInfo : public VKPDFFontInfo {
public:
    // Nothing (logged) for an encoding other than Identity-H.
    static std::shared_ptr<VKPDFCompositeFontInfo> fontInfoWithFontDictionary(const pdf::Dictionary& font);

    void parseDescendantFontDictionary(const pdf::Dictionary& descendant);
    // Both forms, "c [w0 w1 ...]" and "c c2 w", clipped to 0...65535.
    void parseWArray(const pdf::Array& widths);

    float defaultWidth() const { return m_defaultWidth; }
    float widthForCode(uint32_t code) const;
    // Nothing when the code has no text.
    const std::u16string* stringForCode(uint32_t code) const;

    void setCharacterString(std::u16string text, uint32_t code) override;
    void processTextString(std::string_view bytes, VKPDFPageScanner& delegate) const override;
    size_t bytesPerCode() const override { return 2; }

    struct Private;
    explicit VKPDFCompositeFontInfo(const Private&);
    // Its table by code points into its own map.
    VKPDFCompositeFontInfo(const VKPDFCompositeFontInfo&) = delete;
    VKPDFCompositeFontInfo& operator=(const VKPDFCompositeFontInfo&) = delete;

protected:
    uint32_t maximumCode() const override { return 65535; }

private:
    // Codes below this find their text through a table by code, kept
    // small (a pointer each): every glyph shown asks.
    static constexpr uint32_t kDirectCodes = 4096;

    std::unordered_map<uint16_t, std::u16string> m_encodingMap;
    // The map's texts by code, up to the highest code under kDirectCodes
    // that has one (the map's nodes stay where they are).
    std::vector<const std::u16string*> m_directTexts;
    // By code up to the highest one W names; NaN where it names none.
    std::vector<float> m_widths;
    float m_defaultWidth = 1000;
};
