#pragma once

#include "RTF/Word.h"

#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rtf {

// Cuts an RTF byte stream into words and nests them by braces. It interprets
// no keyword but "\bin", whose raw bytes it skips so that they never read as
// RTF. Bytes are read unsigned, so every other byte value (NUL and 0xFF
// included) is ordinary text. Nesting deeper than kMaxDepth groups or a
// failing stream throws rtf::Exception, with everything built so far freed.
//
// A document is read either whole, into a tree of rtf::Word (ParseStream), or
// item by item (NextItem), so that a reader keeps no more of it than the
// group it is in: the converter builds words only for the destinations it
// reads, within limits, and skips the groups it does not write.
class Parser {
public:
    static constexpr size_t kBlockSize = 50000;
    static constexpr size_t kMaxDepth = 1000;
    // Text runs longer than this are cut into several words; a control
    // word's name keeps no more than this many characters.
    static constexpr size_t kMaxWordLength = 65536;
    static constexpr int kEnd = -1;

    // What NextItem found: a word (its text in word()), the start or the end
    // of a group, or the end of the document (the end of input, or a
    // surplus "}" at the top level).
    enum class Item { End,
        GroupStart,
        GroupEnd,
        Word };

    // How much of a group ReadGroup builds: at most `words` words holding
    // `bytes` bytes of text; the rest is read and dropped. Without `text`,
    // only control words are kept (the text of a picture is its data).
    struct Limits {
        size_t words = static_cast<size_t>(-1);
        size_t bytes = static_cast<size_t>(-1);
        bool text = true;
    };

    Parser();

    // Reads a whole document: the first word of the top-level chain, or null
    // for input without words. Free the result with Word::Clean.
    Word* ParseStream(std::istream& in);
    // Reads one chain and the groups inside it, up to the "}" that ends it
    // or the end of input. A surplus "}" ends the top-level chain.
    Word* Parse(std::istream& in);
    // The next byte (0 to 255) with carriage returns skipped and tabs read as
    // blanks, or kEnd.
    int ReadChar(std::istream& in);
    // Forgets the input read so far, ready for a new document.
    void Cleanup();

    // The next item of the document. Without `keepText` a text word is read
    // and dropped: its item comes with an empty word().
    Item NextItem(std::istream& in, bool keepText = true);
    // What the item after the current one is, and whether it is the word
    // `text`; nothing is consumed.
    Item PeekItem(std::istream& in);
    bool PeekWord(std::istream& in, std::string_view text);
    // The rest of the group NextItem is in, as a chain of words (null when
    // nothing was kept); the group's end is consumed. Free it with Word::Clean.
    Word* ReadGroup(std::istream& in, const Limits& limits);
    // Reads the rest of the current group and its end, keeping nothing.
    void SkipGroup(std::istream& in);
    // Groups open at the current item.
    size_t depth() const { return m_depth; }

    const std::string& word() const { return m_word; }

private:
    enum class Token { End,
        Open,
        Close,
        Word };

    Token readToken(std::istream& in, bool keepText);
    Item take(Token token);
    bool fill(std::istream& in);
    int readRawChar(std::istream& in);
    void skipRaw(std::istream& in, size_t count);
    void pushBack(int c) { m_pushback.push_back(c); }

    std::vector<int> m_pushback;
    std::string m_word;
    std::unique_ptr<char[]> m_block;
    int m_lastChar = 0;
    size_t m_blockLength = 0;
    size_t m_blockPosition = 0;

    size_t m_depth = 0;
    bool m_finished = false;
    // One item read ahead by PeekWord.
    bool m_peeked = false;
    Token m_peekToken = Token::End;
    std::string m_peekText;
};

} // namespace rtf
