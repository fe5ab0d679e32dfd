#include "PDF/VKPDFTextNormalization.h"

#include "Platform/Core/TextFolding.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

char16_t VKPDFTextNormalization::combiningFormOfAccent(char16_t accent)
{
    switch (accent) {
    case u'\u0060': return u'\u0300'; // grave
    case u'\u00B4': return u'\u0301'; // acute
    case u'\u02C6': return u'\u0302'; // circumflex
    case u'\u02DC': return u'\u0303'; // tilde
    case u'\u00AF': case u'\u02C9': return u'\u0304'; // macron
    case u'\u02D8': return u'\u0306'; // breve
    case u'\u02D9': return u'\u0307'; // dot above
    case u'\u00A8': return u'\u0308'; // diaeresis
    case u'\u02DA': return u'\u030A'; // ring
    case u'\u02DD': return u'\u030B'; // double acute
    case u'\u02C7': return u'\u030C'; // caron
    case u'\u00B8': return u'\u0327'; // cedilla
    case u'\u02DB': return u'\u0328'; // ogonek
    default: return 0;
    }
}

std::u16string VKPDFTextNormalization::accented(std::u16string_view letter, char16_t accent)
{
    std::u16string text(letter);
    if (text == u"\u0131")
        text = u"i";
    else if (text == u"\u0237")
        text = u"j";
    if (char16_t mark = combiningFormOfAccent(accent))
        text.push_back(mark);
    return core::precomposed(text);
}

bool VKPDFTextNormalization::takesAccent(std::u16string_view text)
{
    if (text.empty())
        return false;
    UChar32 c;
    size_t i = 0;
    U16_NEXT(text.data(), i, text.size(), c);
    return i == text.size() && u_isalpha(c);
}
