#include "Viewers/RTF/Parser.h"

#include "Viewers/RTF/Exception.h"

#include <cstring>

namespace rtf {

namespace {

    bool isDigit(int c)
    {
        return c >= '0' && c <= '9';
    }

    bool isControlSymbol(int c)
    {
        return c == '-' || c == '\\' || c == '_' || c == '{' || c == '}' || c == '~';
    }

    // Frees a partly built tree when parsing throws.
    struct ChainGuard {
        Word** head;
        ~ChainGuard()
        {
            if (head)
                Word::Clean(*head);
        }
    };

} // namespace

Parser::Parser()
    : m_block(new char[kBlockSize])
{
    m_pushback.reserve(3);
}

void Parser::Cleanup()
{
    m_pushback.clear();
    m_blockLength = 0;
    m_blockPosition = 0;
    m_word.clear();
    m_lastChar = 0;
}

Word* Parser::ParseStream(std::istream& in)
{
    Cleanup();
    return Parse(in);
}

int Parser::ReadChar(std::istream& in)
{
    if (!m_pushback.empty()) {
        m_lastChar = m_pushback.back();
        m_pushback.pop_back();
        return m_lastChar;
    }
    for (;;) {
        if (m_blockPosition >= m_blockLength) {
            if (!in.good())
                return kEnd;
            in.read(m_block.get(), kBlockSize);
            if (in.bad())
                throw Exception(Exception::kInputError, "read error");
            m_blockLength = static_cast<size_t>(in.gcount());
            m_blockPosition = 0;
            if (m_blockLength == 0)
                return kEnd;
        }
        int c = static_cast<unsigned char>(m_block[m_blockPosition++]);
        if (c == '\r')
            continue;
        if (c == '\t')
            c = ' ';
        m_lastChar = c;
        return c;
    }
}

size_t Parser::ReadWord(std::istream& in)
{
    m_word.clear();
    int c;
    do
        c = ReadChar(in);
    while (c == '\n');

    if (c == kEnd)
        return 0;
    if (c == ' ' || c == '{' || c == '}' || c == ';') {
        m_word.push_back(static_cast<char>(c));
        return 1;
    }

    bool control = false;
    if (c == '\\') {
        int next = ReadChar(in);
        if (next == '\n') {
            m_word = "\\par";
            return m_word.size();
        }
        if (next == '\'') {
            // A hexadecimal character: the two characters after the
            // apostrophe are taken as they are.
            m_word = "\\'";
            for (int i = 0; i < 2; ++i) {
                int digit = ReadChar(in);
                if (digit == kEnd)
                    break;
                m_word.push_back(static_cast<char>(digit));
            }
            return m_word.size();
        }
        if (isControlSymbol(next)) {
            m_word.push_back('\\');
            m_word.push_back(static_cast<char>(next));
            return 2;
        }
        m_word.push_back('\\');
        control = true;
        c = next;
    }

    bool inParameter = false;
    for (;; c = ReadChar(in)) {
        if (c == kEnd)
            break;
        if (c == '\\' || c == '{' || c == '}') {
            pushBack(c);
            break;
        }
        if (c == '\n') {
            if (control)
                break;
            continue;
        }
        if (c == ';' && control) {
            pushBack(c);
            break;
        }
        if (c == ' ') {
            if (!control)
                pushBack(c);
            break;
        }
        if (control) {
            if (inParameter && !isDigit(c)) {
                pushBack(c);
                break;
            }
            if (isDigit(c) || c == '-')
                inParameter = true;
        }
        m_word.push_back(static_cast<char>(c));
    }
    return m_word.size();
}

Word* Parser::Parse(std::istream& in)
{
    // Built with an explicit stack of open groups, so that neither deep
    // nesting nor long chains recurse. Each group word gets its child as soon
    // as the first word of its chain exists, so the tree is whole at every
    // moment and the guard can free it when reading throws.
    struct Open {
        Word* group;
        Word* tail;
    };
    Word* head = nullptr;
    ChainGuard guard { &head };
    std::vector<Open> open;
    open.push_back({ nullptr, nullptr });

    while (ReadWord(in) != 0) {
        if (m_word.size() == 1 && m_word[0] == '}') {
            if (open.size() == 1)
                break;
            open.pop_back();
            continue;
        }
        bool group = m_word.size() == 1 && m_word[0] == '{';
        Word* word = new Word(group ? std::string_view() : std::string_view(m_word));
        Open& current = open.back();
        if (current.tail)
            current.tail->m_next = word;
        else if (current.group)
            current.group->m_child = word;
        else
            head = word;
        current.tail = word;
        if (group) {
            if (open.size() > kMaxDepth)
                throw Exception(Exception::kInputError, "groups nested too deeply");
            open.push_back({ word, nullptr });
        }
    }
    guard.head = nullptr;
    return head;
}

} // namespace rtf
