#include "RTF/Word.h"

namespace rtf {

Word::~Word()
{
    Clean(m_child);
}

void Word::Clean(Word* first)
{
    // Each child chain is spliced into the chain in front of the words that
    // follow its group, so the loop meets every word once more at most.
    Word* word = first;
    while (word) {
        if (Word* child = word->m_child) {
            word->m_child = nullptr;
            Word* last = child;
            while (last->m_next)
                last = last->m_next;
            last->m_next = word->m_next;
            word->m_next = child;
        }
        Word* next = word->m_next;
        word->m_next = nullptr;
        delete word;
        word = next;
    }
}

} // namespace rtf
