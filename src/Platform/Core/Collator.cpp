#include "Platform/Core/Collator.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace core {

struct Collator::Impl {
    UCollator* collator = nullptr;
    ~Impl()
    {
        if (collator)
            ucol_close(collator);
    }
};

Collator::Collator(std::string_view locale, Strength strength, bool numeric)
    : m_locale(locale)
{
    auto impl = std::make_shared<Impl>();
    UErrorCode error = U_ZERO_ERROR;
    impl->collator = ucol_open(m_locale.c_str(), &error);
    if (U_FAILURE(error) || !impl->collator) {
        error = U_ZERO_ERROR;
        impl->collator = ucol_open("", &error);
    }
    if (impl->collator) {
        UColAttributeValue level = strength == Strength::Primary ? UCOL_PRIMARY
            : strength == Strength::Secondary                    ? UCOL_SECONDARY
                                                                 : UCOL_TERTIARY;
        error = U_ZERO_ERROR;
        ucol_setStrength(impl->collator, level);
        ucol_setAttribute(impl->collator, UCOL_NUMERIC_COLLATION, numeric ? UCOL_ON : UCOL_OFF, &error);
    }
    m_impl = std::move(impl);
}

int Collator::compare(std::string_view a, std::string_view b) const
{
    if (!m_impl->collator)
        return a < b ? -1 : a > b ? 1 : 0;
    // ucol_strcollUTF8 takes int32_t lengths; longer texts compare by their
    // first 2 GB, which no name comes near.
    auto length = [](std::string_view text) {
        return static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    };
    UErrorCode error = U_ZERO_ERROR;
    UCollationResult result = ucol_strcollUTF8(m_impl->collator, a.data(), length(a), b.data(), length(b), &error);
    if (U_FAILURE(error))
        return a < b ? -1 : a > b ? 1 : 0;
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

std::string Collator::sortKey(std::string_view text) const
{
    if (!m_impl->collator)
        return std::string(text);
    // Ill-formed bytes become U+FFFD, as in compare().
    size_t bytes = std::min<size_t>(text.size(), INT32_MAX / 2);
    std::vector<UChar> units(bytes + 1);
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8WithSub(units.data(), int32_t(units.size()), &length, text.data(), int32_t(bytes), 0xFFFD, nullptr,
        &error);
    if (U_FAILURE(error))
        return std::string(text);
    std::string key(64, '\0');
    int32_t needed = ucol_getSortKey(m_impl->collator, units.data(), length,
        reinterpret_cast<uint8_t*>(key.data()), int32_t(key.size()));
    if (needed > int32_t(key.size())) {
        key.resize(size_t(needed));
        needed = ucol_getSortKey(m_impl->collator, units.data(), length, reinterpret_cast<uint8_t*>(key.data()),
            int32_t(key.size()));
    }
    // The key ends with a NUL that ICU counts; it carries no order.
    key.resize(needed > 0 ? size_t(needed - 1) : 0);
    return key;
}

} // namespace core
