#pragma once

#include <string>
#include <string_view>

namespace rtf {

// One word of a parsed RTF document: a run of text, a blank, a control word
// or symbol, or (with empty text) a group whose chain of words hangs below it
// as its child. A word owns its child chain but not the words after it.
//
// Documents hold millions of words in one chain, so chains are freed in a
// loop, never by recursion.
class Word {
public:
    explicit Word(std::string_view text)
        : m_text(text)
    {
    }
    ~Word();
    Word(const Word&) = delete;
    Word& operator=(const Word&) = delete;

    const std::string& GetCommand() const { return m_text; }
    Word* GetNext() const { return m_next; }
    Word* GetChild() const { return m_child; }

    // Frees a whole chain: every word of it with its child chain.
    static void Clean(Word* first);

private:
    friend class Parser;

    std::string m_text;
    Word* m_next = nullptr;
    Word* m_child = nullptr;
};

} // namespace rtf
