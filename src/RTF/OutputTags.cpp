#include "RTF/OutputTags.h"

#include <initializer_list>

namespace rtf {

const char* const ascii[96] = {
    " ", "!", "\"", "#", "$", "%", "&amp;", "'", "(", ")", "*", "+", // 32-43
    ",", "-", ".", "/", "0", "1", "2", "3", "4", "5", "6", "7", // 44-55
    "8", "9", ":", ";", "&lt;", "=", "&gt;", "?", "@", "A", "B", "C", // 56-67
    "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O", // 68-79
    "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "[", // 80-91
    "\\", "]", "^", "_", "`", "a", "b", "c", "d", "e", "f", "g", // 92-103
    "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s", // 104-115
    "t", "u", "v", "w", "x", "y", "z", "{", "|", "}", "~", "", // 116-127
};

const char* const ansi[128] = {
    "&euro;", nullptr, "&sbquo;", "&fnof;", "&bdquo;", "&hellip;", "&dagger;", "&Dagger;", // 128-135
    "&circ;", "&permil;", "&Scaron;", "&lsaquo;", "&OElig;", nullptr, "&#381;", nullptr, // 136-143
    nullptr, "&lsquo;", "&rsquo;", "&ldquo;", "&rdquo;", "&bull;", "&ndash;", "&mdash;", // 144-151
    "&tilde;", "&trade;", "&scaron;", "&rsaquo;", "&oelig;", nullptr, "&#382;", "&Yuml;", // 152-159
    "&nbsp;", "&iexcl;", "&cent;", "&pound;", "&curren;", "&yen;", "&brvbar;", "&sect;", // 160-167
    "&uml;", "&copy;", "&ordf;", "&laquo;", "&not;", "&shy;", "&reg;", "&macr;", // 168-175
    "&deg;", "&plusmn;", "&sup2;", "&sup3;", "&acute;", "&micro;", "&para;", "&middot;", // 176-183
    "&cedil;", "&sup1", "&ordm;", "&raquo", "&frac14", "&frac12;", "&frac34;", "&iquest;", // 184-191
    "&Agrave;", "&Aacute;", "&Acirc;", "&Atilde;", "&Auml;", "&Aring;", "&AElig;", "&Ccedil;", // 192-199
    "&Egrave;", "&Eacute;", "&Ecirc;", "&Euml;", "&Igrave;", "&Iacute;", "&Icirc;", "&Iuml;", // 200-207
    "&ETH;", "&Ntilde;", "&Ograve;", "&Oacute;", "&Ocirc;", "&Otilde;", "&Ouml;", "&times;", // 208-215
    "&Oslash;", "&Ugrave;", "&Uacute;", "&Ucirc;", "&Uuml;", "&Yacute;", "&THORN;", "&szlig;", // 216-223
    "&agrave;", "&aacute;", "&acirc;", "&atilde;", "&auml;", "&aring;", "&aelig;", "&ccedil;", // 224-231
    "&egrave;", "&eacute;", "&ecirc;", "&euml;", "&igrave;", "&iacute;", "&icirc;", "&iuml;", // 232-239
    "&eth;", "&ntilde;", "&ograve;", "&oacute;", "&ocirc;", "&otilde;", "&ouml;", "&divide;", // 240-247
    "&oslash;", "&ugrave;", "&uacute;", "&ucirc;", "&uuml;", "&yacute;", "&thorn;", "&yuml;", // 248-255
};

namespace {

    // A language table: 1 everywhere but at the language's own letters.
    constexpr LanguageFlags letters(std::initializer_list<int> bytes, int rangeFirst = 0, int rangeLast = -1)
    {
        LanguageFlags flags {};
        for (auto& flag : flags)
            flag = 1;
        for (int byte : bytes)
            flags[byte - 128] = 0;
        for (int byte = rangeFirst; byte <= rangeLast; ++byte)
            flags[byte - 128] = 0;
        return flags;
    }

} // namespace

constexpr LanguageFlags russian_ansi = letters({ 168, 184 }, 192, 255);
constexpr LanguageFlags polish_ansi = letters({ 128, 140, 143, 156, 159, 163, 165, 175, 179, 185, 191, 198, 202, 209, 211, 230, 234, 241, 243 });
constexpr LanguageFlags german_ansi = letters({ 196, 214, 220, 223, 228, 246, 252 });
constexpr LanguageFlags french_ansi = letters({ 128, 163, 164, 167, 181, 224, 231, 232, 233, 249 });

OutputTags::OutputTags()
    : language_tables {
        { 1049, { 1251, russian_ansi.data() } },
        { 1045, { 1250, polish_ansi.data() } },
        { 1031, { 1252, german_ansi.data() } },
        { 1036, { 1252, french_ansi.data() } },
    }
{
}

} // namespace rtf
