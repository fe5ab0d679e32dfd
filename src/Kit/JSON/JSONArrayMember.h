#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A large JSON object read in pieces: the elements of one of its array
// members as texts, and the object without them, so that a caller can turn
// one element at a time into what it keeps and never holds the whole tree of
// values at once (a folder listing of ten thousand entries).
//
// Only the structure is checked here (strings, escapes, balanced brackets,
// commas and colons where they belong); each piece is for KWJsonParser to
// read. When the key stands more than once, the last one counts, as the
// parser lets a later member win. Names written with escapes are not
// compared: such an object is not split at all.
struct JSONArrayMember {
    // The object's text with "[]" in place of the member's array.
    std::string rest;
    // Each element's text, in order: views into the text given.
    std::vector<std::string_view> elements;
};

// Nothing when the text is not an object (white space around it allowed)
// whose structure holds, when a member name holds an escape, or when the
// last member of that key has no array for its value.
std::optional<JSONArrayMember> JSONSplitArrayMember(std::string_view text, std::string_view key);
