#pragma once

#include "Platform/Core/TextConverter.h"
#include "RTF/Color.h"
#include "RTF/Converter.h"
#include "RTF/FontEncodings.h"
#include "RTF/Parser.h"
#include "RTF/StackWithPeek.h"
#include "RTF/Word.h"

#include <array>
#include <cstdint>
#include <deque>
#include <istream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rtf {

struct OutputTags;

// The converter's state while it walks one document's words, and the keyword
// handlers that change it. The walk reads the document item by item from the
// parser and keeps no tree of it: handlers that read a destination (a font
// table, a field's instruction) get that group's words built for them. Every
// control word the walk does not handle itself is looked up by name in one
// process-wide table and handed to its handler; a keyword missing from the
// table is ignored.
class GenericConverter : public Converter {
public:
    // A keyword handler: the converter, the keyword's own word (handlers that
    // read a destination walk on from it), whether the control word carried a
    // parameter and that parameter in 16 bits. True makes the walk skip the
    // rest of the group.
    using Handler = bool (*)(GenericConverter* converter, const Word* word, bool has_param, short param);
    // An attribute in force: its kind and what its opening tag needs (a
    // size, a face list, a colour as #rrggbb, a letter spacing).
    using Attribute = std::pair<int, std::string>;
    using AttributeStack = StackWithPeek<Attribute, std::vector<Attribute>>;

    // A group's stack holds at most this many entries; a push beyond it first
    // folds the stack to the last entry of each kind, which shows the same.
    static constexpr size_t kMaxAttributes = 64;
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

    // Character attributes, one stack of them per open group.
    void attr_express(bool on, int kind, const std::string& param);
    void op_fontsize(bool on, const OutputTags* tags, int size);
    void attr_push(int kind, std::string param);
    bool attr_pop(int kind);
    int attr_read() const;
    std::string attr_read_params() const;
    void attr_pop_all();
    void attr_drop_all();
    void attrstack_push();
    void attrstack_drop();
    void attrstack_express_all();
    void attrstack_unexpress_all_of_kind_and_remove(AttributeStack& stack, int kind);

    // The HTML for one text character, empty for nothing. Never points into
    // storage shared between conversions.
    std::string_view op_translate_char(const OutputTags* tags, int charset, int ch);
    // The viewport, the head's end and the body opening, once.
    void starting_body();
    void start_paragraph(const std::string& style);
    void end_paragraph();
    // Inside a table: the table, row and cell openings that are missing.
    // After the table's last row, outside it: the table's end.
    void starting_text();
    // Closes the open table with the cell and row left open.
    void end_table();
    void update_body_width(int width);
    void word_dump_date(const Word* first);

    static void RegisterCommandHandlers();

    // Groups that are not written.
    static bool cmd_header(GenericConverter*, const Word*, bool, short);
    static bool cmd_headerl(GenericConverter*, const Word*, bool, short);
    static bool cmd_headerr(GenericConverter*, const Word*, bool, short);
    static bool cmd_headerf(GenericConverter*, const Word*, bool, short);
    static bool cmd_footer(GenericConverter*, const Word*, bool, short);
    static bool cmd_footerl(GenericConverter*, const Word*, bool, short);
    static bool cmd_footerr(GenericConverter*, const Word*, bool, short);
    static bool cmd_footerf(GenericConverter*, const Word*, bool, short);
    static bool cmd_pict(GenericConverter*, const Word*, bool, short);
    static bool cmd_macpict(GenericConverter*, const Word*, bool, short);
    static bool cmd_jpegblip(GenericConverter*, const Word*, bool, short);
    static bool cmd_pngblip(GenericConverter*, const Word*, bool, short);
    static bool cmd_pnmetafile(GenericConverter*, const Word*, bool, short);
    static bool cmd_wmetafile(GenericConverter*, const Word*, bool, short);
    static bool cmd_wbmbitspixel(GenericConverter*, const Word*, bool, short);
    static bool cmd_picw(GenericConverter*, const Word*, bool, short);
    static bool cmd_pich(GenericConverter*, const Word*, bool, short);
    static bool cmd_xe(GenericConverter*, const Word*, bool, short);
    static bool cmd_tc(GenericConverter*, const Word*, bool, short);
    static bool cmd_tcn(GenericConverter*, const Word*, bool, short);
    static bool cmd_nonshppict(GenericConverter*, const Word*, bool, short);
    static bool cmd_ignore(GenericConverter*, const Word*, bool, short);

    // Keywords without effect.
    static bool cmd_rtf(GenericConverter*, const Word*, bool, short);
    static bool cmd_s(GenericConverter*, const Word*, bool, short);
    static bool cmd_shp(GenericConverter*, const Word*, bool, short);
    static bool cmd_bin(GenericConverter*, const Word*, bool, short);
    static bool cmd_shppict(GenericConverter*, const Word*, bool, short);

    // Destinations read and then skipped.
    static bool cmd_fonttbl(GenericConverter*, const Word*, bool, short);
    static bool cmd_colortbl(GenericConverter*, const Word*, bool, short);
    static bool cmd_info(GenericConverter*, const Word*, bool, short);
    static bool cmd_field(GenericConverter*, const Word*, bool, short);
    static bool cmd_NeXTGraphic(GenericConverter*, const Word*, bool, short);

    // Character sets and code pages.
    static bool cmd_ansi(GenericConverter*, const Word*, bool, short);
    static bool cmd_ansicpg(GenericConverter*, const Word*, bool, short);
    static bool cmd_mac(GenericConverter*, const Word*, bool, short);
    static bool cmd_pc(GenericConverter*, const Word*, bool, short);
    static bool cmd_pca(GenericConverter*, const Word*, bool, short);
    static bool cmd_deff(GenericConverter*, const Word*, bool, short);

    // Languages.
    static bool cmd_deflang(GenericConverter*, const Word*, bool, short);
    static bool cmd_lang(GenericConverter*, const Word*, bool, short);
    static bool cmd_plain(GenericConverter*, const Word*, bool, short);

    // Character attributes.
    static bool cmd_b(GenericConverter*, const Word*, bool, short);
    static bool cmd_i(GenericConverter*, const Word*, bool, short);
    static bool cmd_ul(GenericConverter*, const Word*, bool, short);
    static bool cmd_uld(GenericConverter*, const Word*, bool, short);
    static bool cmd_ulw(GenericConverter*, const Word*, bool, short);
    static bool cmd_ulth(GenericConverter*, const Word*, bool, short);
    static bool cmd_ulwave(GenericConverter*, const Word*, bool, short);
    static bool cmd_uldb(GenericConverter*, const Word*, bool, short);
    static bool cmd_uldash(GenericConverter*, const Word*, bool, short);
    static bool cmd_uldashd(GenericConverter*, const Word*, bool, short);
    static bool cmd_uldashdd(GenericConverter*, const Word*, bool, short);
    static bool cmd_ulnone(GenericConverter*, const Word*, bool, short);
    static bool cmd_strike(GenericConverter*, const Word*, bool, short);
    static bool cmd_striked(GenericConverter*, const Word*, bool, short);
    static bool cmd_strikedl(GenericConverter*, const Word*, bool, short);
    static bool cmd_shad(GenericConverter*, const Word*, bool, short);
    static bool cmd_outl(GenericConverter*, const Word*, bool, short);
    static bool cmd_emboss(GenericConverter*, const Word*, bool, short);
    static bool cmd_impr(GenericConverter*, const Word*, bool, short);
    static bool cmd_super(GenericConverter*, const Word*, bool, short);
    static bool cmd_up(GenericConverter*, const Word*, bool, short);
    static bool cmd_sub(GenericConverter*, const Word*, bool, short);
    static bool cmd_dn(GenericConverter*, const Word*, bool, short);
    static bool cmd_nosupersub(GenericConverter*, const Word*, bool, short);
    static bool cmd_caps(GenericConverter*, const Word*, bool, short);
    static bool cmd_scaps(GenericConverter*, const Word*, bool, short);
    static bool cmd_fs(GenericConverter*, const Word*, bool, short);
    static bool cmd_expand(GenericConverter*, const Word*, bool, short);
    static bool cmd_cf(GenericConverter*, const Word*, bool, short);
    static bool cmd_cb(GenericConverter*, const Word*, bool, short);
    static bool cmd_highlight(GenericConverter*, const Word*, bool, short);
    static bool cmd_f(GenericConverter*, const Word*, bool, short);

    // Font families.
    static bool cmd_fnil(GenericConverter*, const Word*, bool, short);
    static bool cmd_froman(GenericConverter*, const Word*, bool, short);
    static bool cmd_fswiss(GenericConverter*, const Word*, bool, short);
    static bool cmd_fmodern(GenericConverter*, const Word*, bool, short);
    static bool cmd_fscript(GenericConverter*, const Word*, bool, short);
    static bool cmd_fdecor(GenericConverter*, const Word*, bool, short);
    static bool cmd_ftech(GenericConverter*, const Word*, bool, short);

    // Special characters.
    static bool cmd_slash(GenericConverter*, const Word*, bool, short);
    static bool cmd_opening_brace(GenericConverter*, const Word*, bool, short);
    static bool cmd_closing_brace(GenericConverter*, const Word*, bool, short);
    static bool cmd_nonbreaking_space(GenericConverter*, const Word*, bool, short);
    static bool cmd_optional_hyphen(GenericConverter*, const Word*, bool, short);
    static bool cmd_nonbreaking_hyphen(GenericConverter*, const Word*, bool, short);
    static bool cmd_tab(GenericConverter*, const Word*, bool, short);
    static bool cmd_line(GenericConverter*, const Word*, bool, short);
    static bool cmd_page(GenericConverter*, const Word*, bool, short);
    static bool cmd_sect(GenericConverter*, const Word*, bool, short);
    static bool cmd_bullet(GenericConverter*, const Word*, bool, short);
    static bool cmd_emdash(GenericConverter*, const Word*, bool, short);
    static bool cmd_endash(GenericConverter*, const Word*, bool, short);
    static bool cmd_lquote(GenericConverter*, const Word*, bool, short);
    static bool cmd_rquote(GenericConverter*, const Word*, bool, short);
    static bool cmd_ldblquote(GenericConverter*, const Word*, bool, short);
    static bool cmd_rdblquote(GenericConverter*, const Word*, bool, short);
    static bool cmd_u(GenericConverter*, const Word*, bool, short);
    static bool cmd_uc(GenericConverter*, const Word*, bool, short);

    // Tables and page.
    static bool cmd_intbl(GenericConverter*, const Word*, bool, short);
    static bool cmd_paperw(GenericConverter*, const Word*, bool, short);

protected:
    // What one call of word_print_core keeps while it walks its chain.
    struct Chain {
        // Paragraph declarations by property (alignment, first, left and
        // right indent, space before and after): a later one replaces an
        // earlier one, so the style stays short however often they repeat.
        std::array<std::string, 6> declarations;
        std::array<uint8_t, 6> order {};
        size_t declarationCount = 0;
        bool paragraph_open = false;
        bool cell_ended = false;
        // Fallback characters after a Unicode character (\uc), and how many
        // are still to skip.
        int uc = 1;
        int skip = 0;
        // The font in force (\f), -1 for the document's default font.
        int font = -1;
        // Inside a list item's marker (\listtext, \pntext).
        bool list_text = false;

        void declare(size_t property, std::string declaration);
        std::string style() const;
        bool hasStyle() const { return declarationCount > 0; }
    };

    // Writes text that comes from the document as it stands (names, titles,
    // link targets): printable ASCII only, with & < > " escaped.
    void output_escaped(std::string_view text);
    // The same for the inside of a comment, where "--" is written "- -".
    void output_comment_text(std::string_view text);
    // What the bytes written under the font in force mean: a code page of
    // the font's own, a symbol table, or (neither) the document's code page.
    struct FontDecoder {
        core::TextConverter* converter = nullptr;
        SymbolEncoding symbol = SymbolEncoding::None;
    };

    // A text word, or what is left of one after skipped fallback characters.
    void print_text(Chain& chain, std::string_view text);
    void print_hex(Chain& chain, std::string_view text);
    // The HTML of a character decoded from code-page bytes.
    void print_decoded(Chain& chain, std::string_view html);
    // A keyword's handler, with the rest of its group skipped when the
    // handler asks for it; true when the group has ended.
    bool dispatch(std::string_view name, bool has_param, const std::string& keyword, short param);
    // A field: its instruction read, its result written as a link or as text.
    void print_field();
    void print_field_result(const std::string& href, bool hasResult);
    FontDecoder font_decoder();
    FontDecoder find_decoder(int font);
    // The converter of the bytes under a decoder: the font's code page or
    // the document's; none for the ANSI table.
    core::TextConverter* code_page(const FontDecoder& decoder);
    // Adds a byte to the pending bytes of a code page and converts them,
    // appending the character's HTML to `html` when one is complete. False,
    // with the pending bytes dropped and a log line, when they make no
    // character.
    bool decode_byte(core::TextConverter& converter, int byte, std::string& html);
    // Pending bytes that will not be completed are dropped, with a log line.
    void drop_pending();
    // A text character under a symbol font.
    void print_symbol(SymbolEncoding encoding, int byte);
    // The HTML of a byte under a symbol font: its sign, or in a list's
    // marker a bullet where the font's table has none.
    std::string symbol_html(SymbolEncoding encoding, int byte) const;
    bool in_list_text() const { return m_chain && m_chain->list_text; }
    // Before a character written by a handler: the body and table openings.
    void starting_character();
    // A special character's text; `count` also when the tag set has none.
    void output_character(const char* text, bool count);
    void reset_counters()
    {
        m_line_chars = 0;
        m_run_chars = 0;
    }
    // A control word (its text without the backslash); true when it ended
    // its group.
    bool print_control(Chain& chain, std::string_view name);
    // The tag set of the running conversion, or one without any tags.
    const OutputTags& tags() const;
    void output_unicode(int codePoint);
    void flush_surrogate();
    // The closing or opening tags of every entry of the stack, keeping them.
    void attrstack_unexpress_all();
    void patch_body_width();
    void warn(std::string_view line);
    std::string_view language_letter(int codePage, int ch);

    // Keyword to handler, filled once by the first converter constructed.
    static std::map<std::string, Handler> m_handlers;

    struct ChainDeleter {
        void operator()(Word* first) const { Word::Clean(first); }
    };

    StackWithPeek<AttributeStack> m_attr_stacks; // one attribute stack per open group
    AttributeStack* m_attrs = nullptr; // the innermost group's
    const OutputTags* m_tags = nullptr; // null outside a conversion
    std::map<int, std::string> m_fonts; // font number to name
    std::vector<Color> m_colors;
    int m_in_table = 0; // intbl keywords not yet ended; non-zero means table text
    bool m_nbsp_run = false;
    int m_line_chars = 0;
    int m_run_chars = 0;
    bool m_table_open = false;
    bool m_row_open = false;
    bool m_cell_open = false;
    bool m_row_closed = false;
    bool m_cell_closed = false;
    int m_charset = 1; // 1 ANSI, 2 code page converted by m_iconv
    core::TextConverter m_iconv; // the document's code page to UTF-8
    std::map<int, int> m_font_charsets; // font number to its \fcharset, -1 for none
    int m_default_font = -1; // \deff
    // The code pages of fonts, opened when first needed (closed when they
    // cannot be).
    std::map<unsigned, core::TextConverter> m_code_pages;
    // Bytes that begin a character not yet complete, and the converter they
    // belong to; a character may come in several hexadecimal characters,
    // even in neighbouring groups.
    std::array<char, 12> m_pending {};
    size_t m_pending_count = 0;
    core::TextConverter* m_pending_converter = nullptr;
    bool m_bad_hex_logged = false;
    // The decoder of the font last asked for, until the font table changes.
    FontDecoder m_decoder;
    int m_decoder_font = -1;
    bool m_decoder_known = false;
    // Characters the tag set writes as themselves.
    std::array<bool, 256> m_plain {};
    int m_default_lang = 0;
    int m_lang = 0;
    bool m_body_started = false;
    bool m_in_header = true;
    bool m_info_flag = false;
    int m_caps = 0;
    int m_scaps = 0;
    int m_body_width = 612; // points

    // The chains being walked, innermost last; handlers reach theirs through
    // m_chain. A deque keeps each in place while inner ones come and go.
    std::deque<Chain> m_chains;
    Chain* m_chain = nullptr;
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
    // A high surrogate from \u waiting for its low half.
    int m_high_surrogate = 0;
    int m_warnings = 0;
    // The picture bytes the conversion may still keep.
    size_t m_picture_budget = 0;
    // Bytes 128 to 255 of a language's code page in UTF-8, made on first use.
    std::map<int, std::array<std::string, 128>> m_letters;
};

} // namespace rtf
