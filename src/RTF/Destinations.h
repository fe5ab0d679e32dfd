#pragma once

#include "RTF/Color.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rtf {

class GenericConverter;
class Word;

// The destinations a converter reads and then skips: the colour table it
// keeps, the document information it writes into the head, fields (a
// HYPERLINK's result written as a link), pictures with the picture bytes the
// conversion may still keep, and NeXT graphics. Text from the document that
// lands in markup here is escaped. Held by one converter, whose walk it
// reads on from.
class Destinations {
public:
    explicit Destinations(GenericConverter& converter);
    Destinations(const Destinations&) = delete;
    Destinations& operator=(const Destinations&) = delete;

    const std::vector<Color>& colors() const { return m_colors; }
    // A conversion starts with the whole picture budget.
    void startDocument();
    // Forgets the colour table.
    void clear() { m_colors.clear(); }

    static bool cmd_colortbl(GenericConverter*, const Word*, bool, short);
    static bool cmd_info(GenericConverter*, const Word*, bool, short);
    static bool cmd_field(GenericConverter*, const Word*, bool, short);
    static bool cmd_NeXTGraphic(GenericConverter*, const Word*, bool, short);
    static bool cmd_pict(GenericConverter*, const Word*, bool, short);
    // \*, \hl and \stylesheet: skipped, but for the pictures of \*\shppict.
    static bool cmd_ignore(GenericConverter*, const Word*, bool, short);

private:
    // Writes text that comes from the document as it stands (names, titles,
    // link targets): printable ASCII only, with & < > " escaped.
    void outputEscaped(std::string_view text);
    // The same for the inside of a comment, where "--" is written "- -".
    void outputCommentText(std::string_view text);
    // A date of the information group (\yr, \mo, \dy, \hr, \min).
    void outputDate(const Word* first);
    // A field: its instruction read, its result written as a link or as text.
    void printField();
    void printFieldResult(const std::string& href, bool hasResult);

    GenericConverter& m_converter;
    std::vector<Color> m_colors;
    // The picture bytes the conversion may still keep.
    size_t m_picture_budget = 0;
};

} // namespace rtf
