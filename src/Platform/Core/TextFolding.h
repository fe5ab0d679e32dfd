#pragma once

#include <string>
#include <string_view>

namespace core {

// Texts compared the way people search for names: compatibility forms
// unfolded (full-width "Ａ" is "A", "ﬁ" is "fi"), accents and other combining
// marks removed, case folded. "Café Noir" contains "cafe n"; "ＡＢＣ"
// contains "b". An empty query is contained nowhere. Invalid UTF-8 bytes
// stand for U+FFFD.
bool containsIgnoringCaseDiacriticsWidth(std::string_view text, std::string_view query);

// The folded form the containment test compares.
std::string foldedForSearch(std::string_view text);

// The text case-folded alone (Unicode full folding: "Straße" and "STRASSE"
// fold alike), for comparisons that ignore case but not accents or width.
std::string caseFolded(std::string_view text);

// Lower-cased by Unicode's full mappings in the root locale ("ÉTÉ" gives
// "été", "İ" gives "i̇") and then canonically composed (NFC), the form in
// which two spellings of one name compare equal ignoring case.
std::string lowercasedPrecomposed(std::string_view text);
// The text with its combining marks removed and recomposed: "Ça été" gives
// "Ca ete". Letters that are not a base plus a mark ("ø", "ß") stay;
// invalid UTF-8 bytes become U+FFFD.
std::string strippingDiacritics(std::string_view text);

// Canonically composed (NFC), as the system keeps its texts: "u" and a
// combining diaeresis give "ü". Unpaired surrogates pass unchanged.
std::u16string precomposed(std::u16string_view text);
// Compatibility forms unfolded, then composed (NFKC): "ﬁ" gives "fi".
std::u16string compatibilityPrecomposed(std::u16string_view text);

} // namespace core
