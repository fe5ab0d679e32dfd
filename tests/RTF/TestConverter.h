#pragma once

#include "RTF/GenericConverter.h"
#include "RTF/Parser.h"

#include <map>
#include <sstream>
#include <string>
#include <string_view>

namespace rtf_test {

// A converter whose state the tests can read; its stream conversion only
// parses, keeping the tree for the test.
class TestConverter : public rtf::GenericConverter {
public:
    using GenericConverter::Convert;

    int charset() const { return m_codePages.charset(); }
    void setCharset(int charset) { m_codePages.setCharset(charset); }
    core::TextConverter& documentCodePage() { return m_codePages.documentCodePage(); }
    const std::map<int, std::string>& fonts() const { return m_codePages.fonts(); }
    int inTable() const { return m_table.inTable(); }

    ~TestConverter() override { rtf::Word::Clean(m_tree); }

    const std::string& Convert(std::istream& in, rtf::Params&) override
    {
        rtf::Word::Clean(m_tree);
        m_tree = m_parser.ParseStream(in);
        return m_output;
    }

    // Parses text; the first word of its top-level chain.
    rtf::Word* parse(std::string_view text)
    {
        std::istringstream in { std::string(text) };
        rtf::Params params;
        Convert(in, params);
        return m_tree;
    }

    // Hands every control word of a chain to its handler, as the walk does
    // for words it does not handle itself.
    void dispatch(const rtf::Word* first)
    {
        for (const rtf::Word* word = first; word; word = word->GetNext()) {
            const std::string& text = word->GetCommand();
            if (text.size() < 2 || text[0] != '\\')
                continue;
            short param = 0;
            std::string keyword = extract_cmd_param(text.substr(1), &param);
            if (keyword.empty())
                HandleRTFCommand(text.substr(1), word, false, 0);
            else
                HandleRTFCommand(keyword, word, true, param);
        }
    }

private:
    rtf::Parser m_parser;
    rtf::Word* m_tree = nullptr;
};

} // namespace rtf_test
