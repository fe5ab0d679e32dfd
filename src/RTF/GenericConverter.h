#pragma once

#include "RTF/AttributeStacks.h"
#include "RTF/CodePages.h"
#include "RTF/Converter.h"
#include "RTF/Destinations.h"
#include "RTF/GroupState.h"
#include "RTF/Parser.h"
#include "RTF/SpecialCharacters.h"
#include "RTF/TableState.h"
#include "RTF/TextWriter.h"
#include "RTF/Word.h"

#include <cstddef>
#include <deque>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

namespace rtf {

struct OutputTags;

// The walk over one document's words and what it writes itself: groups,
// paragraphs and the body with its width. The
// walk reads the document item by item from the parser and keeps no tree of
// it: handlers that read a destination (a font table, a field's instruction)
// get that group's words built for them. Every control word the walk does
// not handle itself is looked up in the keyword table (KeywordTable) and
// handed to its handler. What the handlers change is held by the parts below,
// each owning its own state: the attribute stacks, the code pages and font
// table, the destinations, the table in progress, the special characters and
// the text.
class GenericConverter : public Converter {
public:
    // Log lines one conversion may write; hostile documents repeat mistakes.
    static constexpr int kMaxWarnings = 100;
    // A destination a handler reads is built from at most this many words
    // and bytes of text; the rest of it is read and dropped. No font table,
    // colour table or document information of a real document comes near.
    static constexpr size_t kMaxDestinationWords = 1 << 16;
    static constexpr size_t kMaxDestinationBytes = 1 << 20;
    // Font sizes beyond this many points are this size.
    static constexpr int kMaxFontPoints = 1638;
    // Pictures are shown no larger than this many points each way.
    static constexpr int kMaxPictureSize = 10000;

    GenericConverter();
    ~GenericConverter() override;

    // 0 when the handler returned true, 1 when it returned false, 2 when the
    // keyword has no handler.
    int HandleRTFCommand(const std::string& keyword, const Word* word, bool has_param, short param);

    // Splits a control word's name ("fs24") at its first digit or "-" into the
    // keyword ("fs") and the parameter (24, read with saturation and kept in
    // 16 bits). Without a parameter: an empty keyword, param untouched.
    static std::string extract_cmd_param(std::string_view text, short* param);
    // Without leading and trailing blanks (the space character only).
    static std::string trim_string(const std::string& text);

    // Resets the per-document state: attribute stacks, colour and font tables,
    // the code-page converters.
    void Cleanup();

    // Writes one whole document, read from the stream by the parser, into
    // the output.
    void ConvertWordTree(const OutputTags* tags, Parser& parser, std::istream& in, bool omit_info);
    // Writes the rest of the group the parser is in, and the groups inside
    // it, up to and with the group's end.
    void word_print_core();

    // For handlers: the words after the keyword's own up to the end of its
    // group. For the keyword the walk is at, they are read from the document
    // (within the destination limits; without `text`, control words only) and
    // the walk goes on after the group; for a word of a tree, they are the
    // words after it.
    const Word* destination(const Word* keyword, bool text = true);
    // Whether the word after the keyword's own is `text`.
    bool next_word_is(const Word* keyword, std::string_view text);

    // The viewport, the head's end and the body opening, once.
    void starting_body();
    void start_paragraph(const std::string& style);
    void end_paragraph();
    void update_body_width(int width);

    // The page width, in the header only.
    static bool cmd_paperw(GenericConverter*, const Word*, bool, short);

protected:
    friend class AttributeStacks;
    friend class CodePages;
    friend class Destinations;
    friend class SpecialCharacters;
    friend class TableState;
    friend class TextWriter;

    // A keyword's handler, with the rest of its group skipped when the
    // handler asks for it; true when the group has ended.
    bool dispatch(std::string_view name, bool has_param, const std::string& keyword, short param);
    // The decoder of the font in force.
    CodePages::FontDecoder font_decoder();
    bool in_list_text() const { return m_chain && m_chain->list_text; }
    // Before a character written by a handler: the body and table openings.
    void starting_character();
    // A control word (its text without the backslash); true when it ended
    // its group.
    bool print_control(GroupState& chain, std::string_view name);
    // The tag set of the running conversion, or one without any tags.
    const OutputTags& tags() const;
    void patch_body_width();
    void warn(std::string_view line);

    struct ChainDeleter {
        void operator()(Word* first) const { Word::Clean(first); }
    };

    const OutputTags* m_tags = nullptr; // null outside a conversion
    bool m_body_started = false;
    bool m_in_header = true;
    bool m_info_flag = false;
    int m_body_width = 612; // points

    // The groups being walked, innermost last; handlers reach theirs through
    // m_chain. A deque keeps each in place while inner ones come and go.
    std::deque<GroupState> m_chains;
    GroupState* m_chain = nullptr;
    // The document being read, during a conversion.
    Parser* m_reader = nullptr;
    std::istream* m_input = nullptr;
    // The keyword whose handler runs, whether its handler has read the rest
    // of its group, and what it read.
    const Word* m_current = nullptr;
    bool m_rest_read = false;
    std::unique_ptr<Word, ChainDeleter> m_destination;
    // Characters written so far: whether a field result showed anything.
    size_t m_characters = 0;
    // Where starting_body wrote the viewport and body tags, and the width they
    // carry; a wider picture rewrites them once, at the end.
    size_t m_viewport_at = 0;
    size_t m_body_at = 0;
    int m_written_width = 0;
    int m_warnings = 0;

    // The parts, each living exactly as long as the converter.
    AttributeStacks m_attributes { *this };
    CodePages m_codePages { *this };
    Destinations m_destinations { *this };
    TableState m_table { *this };
    SpecialCharacters m_special { *this };
    TextWriter m_text { *this };
};

} // namespace rtf
