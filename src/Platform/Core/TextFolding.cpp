#include "Platform/Core/TextFolding.h"

#include <unicode/normalizer2.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace core {

namespace {

    icu::UnicodeString fromUTF8(std::string_view text)
    {
        return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    }

    std::string toUTF8(const icu::UnicodeString& text)
    {
        std::string result;
        text.toUTF8String(result);
        return result;
    }

    bool isMark(UChar32 c)
    {
        return (U_GET_GC_MASK(c) & (U_GC_MN_MASK | U_GC_ME_MASK)) != 0;
    }

    icu::UnicodeString withoutMarks(const icu::UnicodeString& text)
    {
        icu::UnicodeString result;
        for (int32_t i = 0; i < text.length();) {
            UChar32 c = text.char32At(i);
            if (!isMark(c))
                result.append(c);
            i += U16_LENGTH(c);
        }
        return result;
    }

    icu::UnicodeString folded(std::string_view text)
    {
        UErrorCode error = U_ZERO_ERROR;
        const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(error);
        icu::UnicodeString source = fromUTF8(text);
        if (U_FAILURE(error))
            return source.foldCase();
        icu::UnicodeString decomposed = nfkd->normalize(source, error);
        if (U_FAILURE(error))
            decomposed = source;
        icu::UnicodeString result = withoutMarks(decomposed).foldCase();
        // Folding can make new decomposable characters ("ǰ" folds to j + caron).
        error = U_ZERO_ERROR;
        if (!nfkd->isNormalized(result, error) && U_SUCCESS(error))
            result = withoutMarks(nfkd->normalize(result, error));
        return result;
    }

    std::u16string normalized(const icu::Normalizer2* (*instance)(UErrorCode&), std::u16string_view text)
    {
        UErrorCode error = U_ZERO_ERROR;
        const icu::Normalizer2* normalizer = instance(error);
        if (U_FAILURE(error) || text.empty())
            return std::u16string(text);
        icu::UnicodeString source(false, text.data(), static_cast<int32_t>(text.size()));
        if (normalizer->isNormalized(source, error) && U_SUCCESS(error))
            return std::u16string(text);
        error = U_ZERO_ERROR;
        icu::UnicodeString result = normalizer->normalize(source, error);
        if (U_FAILURE(error))
            return std::u16string(text);
        return std::u16string(result.getBuffer(), static_cast<size_t>(result.length()));
    }

} // namespace

std::u16string precomposed(std::u16string_view text)
{
    return normalized(icu::Normalizer2::getNFCInstance, text);
}

std::u16string compatibilityPrecomposed(std::u16string_view text)
{
    return normalized(icu::Normalizer2::getNFKCInstance, text);
}

std::string foldedForSearch(std::string_view text)
{
    return toUTF8(folded(text));
}

std::string caseFolded(std::string_view text)
{
    return toUTF8(fromUTF8(text).foldCase());
}

bool containsIgnoringCaseDiacriticsWidth(std::string_view text, std::string_view query)
{
    if (query.empty())
        return false;
    icu::UnicodeString needle = folded(query);
    if (needle.isEmpty())
        return false;
    return folded(text).indexOf(needle) >= 0;
}

std::string lowercasedPrecomposed(std::string_view text)
{
    icu::UnicodeString lower = fromUTF8(text).toLower(icu::Locale::getRoot());
    UErrorCode error = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(error);
    if (U_FAILURE(error))
        return toUTF8(lower);
    icu::UnicodeString composed = nfc->normalize(lower, error);
    return U_FAILURE(error) ? toUTF8(lower) : toUTF8(composed);
}

std::string strippingDiacritics(std::string_view text)
{
    UErrorCode error = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(error);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(error);
    if (U_FAILURE(error))
        return std::string(text);
    icu::UnicodeString decomposed = nfd->normalize(fromUTF8(text), error);
    if (U_FAILURE(error))
        return std::string(text);
    icu::UnicodeString composed = nfc->normalize(withoutMarks(decomposed), error);
    return U_FAILURE(error) ? std::string(text) : toUTF8(composed);
}

} // namespace core
