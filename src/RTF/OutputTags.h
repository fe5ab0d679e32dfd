#pragma once

#include <array>
#include <cstdint>
#include <map>

namespace rtf {

// Which bytes 128 to 255 are a language's own letters (flag 0), written as
// the byte itself rather than as a Windows-1252 entity, and the code page
// those bytes belong to.
struct LanguageTable {
    int codePage;
    const unsigned char* flags; // 128 flags, for the bytes 128 to 255
};

// The character tables of the HTML tag set.
extern const char* const ascii[96]; // characters 32 to 127
extern const char* const ansi[128]; // bytes 128 to 255 of code page 1252
using LanguageFlags = std::array<unsigned char, 128>;
extern const LanguageFlags russian_ansi; // language 1049
extern const LanguageFlags polish_ansi; // language 1045
extern const LanguageFlags german_ansi; // language 1031
extern const LanguageFlags french_ansi; // language 1036

// Everything the converter writes, by role. The converter has no markup of
// its own: a null slot means the output has no such construct and nothing is
// written; slots with a printf conversion are written formatted.
struct OutputTags {
    OutputTags();

    const char* comment_begin = nullptr;
    const char* comment_end = nullptr;
    const char* document_begin = nullptr;
    const char* document_end = nullptr;
    const char* head_begin = nullptr;
    const char* head_end = nullptr;
    const char* charset_meta = nullptr;
    const char* viewport_meta = nullptr;
    int page_margin = 0;
    const char* style_begin = nullptr;
    const char* style_end = nullptr;
    const char* title_begin = nullptr;
    const char* title_end = nullptr;
    const char* keywords_begin = nullptr;
    const char* keywords_end = nullptr;
    const char* author_begin = nullptr;
    const char* author_end = nullptr;
    const char* changed_begin = nullptr;
    const char* changed_end = nullptr;
    const char* body_begin = nullptr;
    const char* body_end = nullptr;
    const char* text_begin = nullptr;
    const char* text_end = nullptr;
    const char* paragraph_begin = nullptr;
    const char* section_break = nullptr;
    const char* paragraph_end = nullptr;
    const char* align_center = nullptr;
    const char* align_left = nullptr;
    const char* align_right = nullptr;
    const char* align_justify = nullptr;
    const char* first_indent = nullptr;
    const char* left_indent = nullptr;
    const char* right_indent = nullptr;
    const char* space_before = nullptr;
    const char* space_after = nullptr;
    const char* space = nullptr;
    const char* line_break = nullptr;
    const char* page_break = nullptr;
    const char* long_run_begin = nullptr;
    const char* long_run_end = nullptr;
    const char* hyperlink_begin = nullptr;
    const char* hyperlink_end = nullptr;
    // For links written with their own text: closes the href value, and
    // closes the anchor after the text.
    const char* hyperlink_text_begin = nullptr;
    const char* hyperlink_text_end = nullptr;
    // An empty element the size of a picture that is not shown: width and
    // height in points.
    const char* picture_placeholder = nullptr;
    const char* image_begin = nullptr;
    const char* image_end = nullptr;
    const char* table_begin = nullptr;
    const char* table_end = nullptr;
    const char* row_begin = nullptr;
    const char* row_end = nullptr;
    const char* cell_begin = nullptr;
    const char* cell_end = nullptr;
    const char* font_face_begin = nullptr;
    const char* font_face_end = nullptr;
    const char* font_size_begin = nullptr;
    const char* font_size_end = nullptr;
    const char* font_steps_begin[8] = {};
    const char* font_steps_end[8] = {};
    const char* small_caps_begin = nullptr;
    const char* small_caps_end = nullptr;
    const char* foreground_begin = nullptr;
    const char* foreground_end = nullptr;
    const char* background_begin = nullptr;
    const char* background_end = nullptr;
    const char* bold_begin = nullptr;
    const char* bold_end = nullptr;
    const char* italic_begin = nullptr;
    const char* italic_end = nullptr;
    const char* underline_begin = nullptr;
    const char* underline_end = nullptr;
    const char* dotted_underline_begin = nullptr;
    const char* dotted_underline_end = nullptr;
    const char* superscript_begin = nullptr;
    const char* superscript_end = nullptr;
    const char* subscript_begin = nullptr;
    const char* subscript_end = nullptr;
    const char* strike_begin = nullptr;
    const char* strike_end = nullptr;
    const char* double_strike_begin = nullptr;
    const char* double_strike_end = nullptr;
    const char* emboss_begin = nullptr;
    const char* emboss_end = nullptr;
    const char* engrave_begin = nullptr;
    const char* engrave_end = nullptr;
    const char* shadow_begin = nullptr;
    const char* shadow_end = nullptr;
    const char* outline_begin = nullptr;
    const char* outline_end = nullptr;
    const char* ordered_list_begin = nullptr;
    const char* ordered_list_end = nullptr;
    const char* ordered_item_begin = nullptr;
    const char* ordered_item_end = nullptr;
    const char* unordered_list_begin = nullptr;
    const char* unordered_list_end = nullptr;
    const char* unordered_item_begin = nullptr;
    const char* unordered_item_end = nullptr;
    const char* letter_spacing_begin = nullptr;
    const char* letter_spacing_end = nullptr;
    const char* bullet = nullptr;
    const char* lquote = nullptr;
    const char* rquote = nullptr;
    const char* ldblquote = nullptr;
    const char* rdblquote = nullptr;
    const char* nonbreaking_space = nullptr;
    const char* emdash = nullptr;
    const char* endash = nullptr;
    const char* nonbreaking_hyphen = nullptr;
    const char* optional_hyphen = nullptr;
    const char* unicode_char = nullptr;
    const char* const* ascii_table = nullptr;
    bool simulate_small_caps = false;
    bool simulate_caps = false;
    const char* const* ansi_table = nullptr;
    uint16_t ansi_first = 0;
    uint16_t ansi_last = 0;
    // Language number to its table.
    std::map<int, LanguageTable> language_tables;
};

} // namespace rtf
