// fuzz: tandry_rtf
// Any bytes parse to a tree or a thrown rtf::Exception, and every font table
// in the tree reads without fault.

#include "Viewers/RTF/Exception.h"
#include "Viewers/RTF/GenericConverter.h"
#include "Viewers/RTF/Parser.h"

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
    return 0;
}
