// fuzz: tandry_rtf
// Any bytes parse to a tree or a thrown rtf::Exception, and every font table
// in the tree reads without fault; read item by item, with groups built
// within small limits, skipped or looked into, they end the same way.

#include "RTF/Exception.h"
#include "RTF/GenericConverter.h"
#include "RTF/Parser.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace {

class FuzzConverter : public rtf::GenericConverter {
public:
    using GenericConverter::Convert;
    const std::string& Convert(std::istream&, rtf::Params&) override { return m_output; }
};

void readFontTables(FuzzConverter& converter, const rtf::Word* first)
{
    std::vector<const rtf::Word*> pending { first };
    while (!pending.empty()) {
        const rtf::Word* word = pending.back();
        pending.pop_back();
        for (; word; word = word->GetNext()) {
            if (word->GetChild())
                pending.push_back(word->GetChild());
            else if (word->GetCommand() == "\\fonttbl")
                converter.HandleRTFCommand("fonttbl", word, false, 0);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    rtf::Parser parser;
    FuzzConverter converter;
    try {
        rtf::Word* tree = parser.ParseStream(in);
        readFontTables(converter, tree);
        rtf::Word::Clean(tree);
    } catch (const rtf::Exception&) {
    }
    converter.Cleanup();

    // The data's own bytes choose what happens to each group.
    std::istringstream again(std::string(reinterpret_cast<const char*>(data), size));
    rtf::Parser reader;
    size_t choice = 0;
    try {
        for (;;) {
            rtf::Parser::Item item = reader.NextItem(again);
            if (item == rtf::Parser::Item::End)
                break;
            if (item != rtf::Parser::Item::GroupStart)
                continue;
            uint8_t pick = size ? data[choice++ % size] : 0;
            if (pick % 3 == 0)
                rtf::Word::Clean(reader.ReadGroup(again, { size_t(pick % 7), size_t(pick % 13), (pick & 8) != 0 }));
            else if (pick % 3 == 1)
                reader.SkipGroup(again);
            else
                reader.PeekWord(again, "\\b");
        }
    } catch (const rtf::Exception&) {
    }
    return 0;
}
