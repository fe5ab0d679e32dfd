#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace core {

// Locale-aware ordering of texts for people (file names, lists) on ICU's
// collation. The strength says which differences count: primary letters
// only, secondary also accents, tertiary also case and width. With numeric
// ordering, digit runs compare by their value ("file 2" before "file 10").
//
// A collator is immutable once made; copies share it and it may be used from
// any thread. Invalid UTF-8 bytes compare as U+FFFD.
class Collator {
public:
    enum class Strength { Primary, Secondary, Tertiary };

    // An unknown locale falls back to the root collation order.
    Collator(std::string_view locale, Strength strength, bool numeric);

    const std::string& locale() const { return m_locale; }
    // -1, 0 or 1.
    int compare(std::string_view a, std::string_view b) const;
    // The text's binary sort key: two keys compare bytewise (memcmp, the
    // shorter first on a common prefix) as compare() orders their texts.
    // Made once per text, it lets a long list be sorted without collating
    // in every comparison.
    std::string sortKey(std::string_view text) const;

    struct Impl;

private:
    std::string m_locale;
    std::shared_ptr<const Impl> m_impl;
};

} // namespace core
