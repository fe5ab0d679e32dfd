#include "RTF/Parser.h"

#include "RTF/Exception.h"

#include <algorithm>
#include <cstring>

namespace rtf {

namespace {

    bool isDigit(int c)
    {
        return c >= '0' && c <= '9';
    }

    bool isHexDigit(int c)
    {
        return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
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
    // Both beyond the short-string size: a peeked word changes hands by a
    // swap of two buffers instead of a copy of its characters each way,
    // which was half the time on a document of many short groups.
    m_word.reserve(64);
    m_peekText.reserve(64);
}

void Parser::Cleanup()
{
    m_pushback.clear();
    m_blockLength = 0;
    m_blockPosition = 0;
    m_word.clear();
    m_lastChar = 0;
    m_depth = 0;
    m_finished = false;
    m_peeked = false;
    m_peekText.clear();
}

Word* Parser::ParseStream(std::istream& in)
{
    Cleanup();
    return Parse(in);
}

Word* Parser::Parse(std::istream& in)
{
    return ReadGroup(in, Limits {});
}

bool Parser::fill(std::istream& in)
{
    if (!in.good())
        return false;
    in.read(m_block.get(), kBlockSize);
    if (in.bad())
        throw Exception(Exception::kInputError, "read error");
    m_blockLength = static_cast<size_t>(in.gcount());
    m_blockPosition = 0;
    return m_blockLength > 0;
}

int Parser::ReadChar(std::istream& in)
{
    if (!m_pushback.empty()) {
        m_lastChar = m_pushback.back();
        m_pushback.pop_back();
        return m_lastChar;
    }
    for (;;) {
        if (m_blockPosition >= m_blockLength && !fill(in))
            return kEnd;
        int c = static_cast<unsigned char>(m_block[m_blockPosition++]);
        if (c == '\r')
            continue;
        if (c == '\t')
            c = ' ';
        m_lastChar = c;
        return c;
    }
}

int Parser::readRawChar(std::istream& in)
{
    if (!m_pushback.empty()) {
        int c = m_pushback.back();
        m_pushback.pop_back();
        return c;
    }
    if (m_blockPosition >= m_blockLength && !fill(in))
        return kEnd;
    return static_cast<unsigned char>(m_block[m_blockPosition++]);
}

void Parser::skipRaw(std::istream& in, size_t count)
{
    while (count > 0) {
        if (!m_pushback.empty()) {
            m_pushback.pop_back();
            --count;
            continue;
        }
        if (m_blockPosition >= m_blockLength && !fill(in))
            return;
        size_t taken = std::min(count, m_blockLength - m_blockPosition);
        m_blockPosition += taken;
        count -= taken;
    }
}

Parser::Token Parser::readToken(std::istream& in, bool keepText)
{
    m_word.clear();
    int c;
    do
        c = ReadChar(in);
    while (c == '\n');

    if (c == kEnd)
        return Token::End;
    if (c == '{' || c == '}') {
        m_word.push_back(static_cast<char>(c));
        return c == '{' ? Token::Open : Token::Close;
    }
    if (c == ' ' || c == ';') {
        if (keepText)
            m_word.push_back(static_cast<char>(c));
        return Token::Word;
    }

    bool control = false;
    if (c == '\\') {
        int next = ReadChar(in);
        if (next == '\n') {
            m_word = "\\par";
            return Token::Word;
        }
        if (next == '\'') {
            // A hexadecimal character takes up to two hexadecimal digits;
            // anything else after the apostrophe is read as it stands.
            m_word = "\\'";
            for (int i = 0; i < 2; ++i) {
                int digit = ReadChar(in);
                if (!isHexDigit(digit)) {
                    if (digit != kEnd)
                        pushBack(digit);
                    break;
                }
                m_word.push_back(static_cast<char>(digit));
            }
            return Token::Word;
        }
        if (isControlSymbol(next)) {
            m_word.push_back('\\');
            m_word.push_back(static_cast<char>(next));
            return Token::Word;
        }
        m_word.push_back('\\');
        control = true;
        c = next;
    }

    bool inParameter = false;
    // "\bin" with a parameter: its raw bytes follow the control word.
    bool binary = false;
    for (;; c = binary ? readRawChar(in) : ReadChar(in)) {
        if (c == kEnd)
            break;
        if (binary) {
            if (isDigit(c)) {
                if (m_word.size() < kMaxWordLength)
                    m_word.push_back(static_cast<char>(c));
                continue;
            }
            size_t count = 0;
            for (size_t i = 4; i < m_word.size(); ++i)
                count = std::min<size_t>(count * 10 + static_cast<size_t>(m_word[i] - '0'), size_t(1) << 62);
            // The blank ending the keyword is not data; any other byte is
            // the first of it.
            if (c != ' ' && count > 0)
                --count;
            skipRaw(in, count);
            return Token::Word;
        }
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
            if (isDigit(c) || c == '-') {
                binary = !inParameter && isDigit(c) && m_word == "\\bin";
                inParameter = true;
            }
            if (m_word.size() < kMaxWordLength)
                m_word.push_back(static_cast<char>(c));
        } else if (keepText) {
            if (m_word.size() >= kMaxWordLength) {
                pushBack(c);
                break;
            }
            m_word.push_back(static_cast<char>(c));
        }
    }
    return Token::Word;
}

Parser::Item Parser::take(Token token)
{
    switch (token) {
    case Token::End:
        return Item::End;
    case Token::Open:
        if (m_depth >= kMaxDepth)
            throw Exception(Exception::kInputError, "groups nested too deeply");
        ++m_depth;
        return Item::GroupStart;
    case Token::Close:
        if (m_depth == 0) {
            // A surplus "}" ends the document; what follows is never read.
            m_finished = true;
            return Item::End;
        }
        --m_depth;
        return Item::GroupEnd;
    case Token::Word:
        break;
    }
    return Item::Word;
}

Parser::Item Parser::NextItem(std::istream& in, bool keepText)
{
    if (m_peeked) {
        m_peeked = false;
        m_word.swap(m_peekText);
        return take(m_peekToken);
    }
    if (m_finished)
        return Item::End;
    return take(readToken(in, keepText));
}

Parser::Item Parser::PeekItem(std::istream& in)
{
    if (!m_peeked) {
        m_word.swap(m_peekText);
        m_peekToken = m_finished ? Token::End : readToken(in, true);
        m_word.swap(m_peekText);
        m_peeked = true;
    }
    switch (m_peekToken) {
    case Token::End:
        return Item::End;
    case Token::Open:
        return Item::GroupStart;
    case Token::Close:
        return m_depth == 0 ? Item::End : Item::GroupEnd;
    case Token::Word:
        break;
    }
    return Item::Word;
}

bool Parser::PeekWord(std::istream& in, std::string_view text)
{
    return PeekItem(in) == Item::Word && m_peekText == text;
}

Word* Parser::ReadGroup(std::istream& in, const Limits& limits)
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
    const size_t base = m_depth;
    size_t words = 0;
    size_t bytes = 0;
    // Once a limit is reached nothing more is built; groups entered since
    // are read to their ends.
    bool full = false;
    size_t dropped = 0;

    for (;;) {
        Item item = NextItem(in, limits.text);
        if (item == Item::End || (item == Item::GroupEnd && m_depth < base))
            break;
        if (item == Item::GroupEnd) {
            if (dropped > 0)
                --dropped;
            else
                open.pop_back();
            continue;
        }
        bool group = item == Item::GroupStart;
        if (!group && m_word.empty())
            continue; // text read without keeping it
        full = full || words >= limits.words || bytes + m_word.size() > limits.bytes;
        if (full) {
            dropped += group ? 1 : 0;
            continue;
        }
        ++words;
        bytes += group ? 0 : m_word.size();
        Word* word = new Word(group ? std::string_view() : std::string_view(m_word));
        Open& current = open.back();
        if (current.tail)
            current.tail->m_next = word;
        else if (current.group)
            current.group->m_child = word;
        else
            head = word;
        current.tail = word;
        if (group)
            open.push_back({ word, nullptr });
    }
    guard.head = nullptr;
    return head;
}

void Parser::SkipGroup(std::istream& in)
{
    const size_t base = m_depth;
    for (;;) {
        Item item = NextItem(in, false);
        if (item == Item::End || (item == Item::GroupEnd && m_depth < base))
            return;
    }
}

} // namespace rtf
