#pragma once

#include "Viewers/RTF/Word.h"

#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace rtf {

// Cuts an RTF byte stream into words and nests them by braces into a tree of
// rtf::Word. It interprets no keyword. Bytes are read unsigned, so every byte
// value (NUL and 0xFF included) is ordinary text; a word grows as long as its
// run, and nesting deeper than kMaxDepth groups or a failing stream throws
// rtf::Exception, with everything built so far freed.
class Parser {
public:
    static constexpr size_t kBlockSize = 50000;
    static constexpr size_t kMaxDepth = 1000;
    static constexpr int kEnd = -1;

    Parser();

    // Reads a whole document: the first word of the top-level chain, or null
    // for input without words. Free the result with Word::Clean.
    Word* ParseStream(std::istream& in);
    // Reads one chain and the groups inside it, up to the "}" that ends it
    // or the end of input. A surplus "}" ends the top-level chain.
    Word* Parse(std::istream& in);
    // Reads the next word; its length, 0 at the end of input.
    size_t ReadWord(std::istream& in);
    // The next byte (0 to 255) with carriage returns skipped and tabs read as
    // blanks, or kEnd.
    int ReadChar(std::istream& in);
    void Cleanup();

    const std::string& word() const { return m_word; }

private:
    void pushBack(int c) { m_pushback.push_back(c); }

    std::vector<int> m_pushback;
    std::string m_word;
    std::unique_ptr<char[]> m_block;
    int m_lastChar = 0;
    size_t m_blockLength = 0;
    size_t m_blockPosition = 0;
};

} // namespace rtf
