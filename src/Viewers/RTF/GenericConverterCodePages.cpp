// Character sets, code pages and the font table.

#include "Viewers/RTF/GenericConverter.h"

#include "Platform/Core/Log.h"
#include "Viewers/RTF/GenericConverterHelpers.h"

namespace rtf {

using namespace detail;

namespace {

    // The name each code page is opened by: the Mac code pages as glibc or ICU
    // spell them (those neither knows keep a name that fails to open), UTF-8 by
    // its name, every other as "CP" and its number.
    std::string codePageName(unsigned codePage)
    {
        static const struct {
            unsigned codePage;
            const char* name;
        } kNames[] = {
            { 10000, "MACINTOSH" },
            { 10005, "MacHebrew" },
            { 10006, "x-mac-greek" },
            { 10007, "MACCYRILLIC" },
            { 10010, "MacRomania" },
            { 10017, "MACUKRAINIAN" },
            { 10021, "MacThai" },
            { 10029, "MAC-CENTRALEUROPE" },
            { 10079, "MAC-IS" },
            { 10081, "x-mac-turkish" },
            { 10082, "MacCroatian" },
            { 65001, "UTF-8" },
        };
        for (const auto& entry : kNames) {
            if (entry.codePage == codePage)
                return entry.name;
        }
        return "CP" + std::to_string(codePage);
    }

    // A font table entry's number: "\f" and a digit, then digits.
    bool fontNumber(const std::string& text, int& number)
    {
        if (text.size() < 3 || text[0] != '\\' || text[1] != 'f' || !isDigit(text[2]))
            return false;
        number = saturatingAtoi(std::string_view(text).substr(2));
        return true;
    }

    bool isNameWord(const Word* word)
    {
        const std::string& text = word->GetCommand();
        return !text.empty() && text[0] != '\\';
    }

} // namespace

bool GenericConverter::cmd_ansi(GenericConverter* converter, const Word*, bool, short)
{
    converter->m_charset = 1;
    return false;
}

bool GenericConverter::cmd_ansicpg(GenericConverter* converter, const Word*, bool, short param)
{
    converter->m_iconv.close();
    // Code pages above 32767 (65001 for UTF-8) arrive as negative 16-bit
    // parameters; they are unsigned numbers.
    unsigned codePage = static_cast<unsigned short>(param);
    converter->m_iconv = core::TextConverter::toUTF8(codePageName(codePage));
    if (!converter->m_iconv) {
        core::log("iconv_open failed: 0xffffffffffffffff");
        return false;
    }
    converter->m_charset = 2;
    return false;
}

bool GenericConverter::cmd_mac(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 10000);
}

bool GenericConverter::cmd_pc(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 437);
}

bool GenericConverter::cmd_pca(GenericConverter* converter, const Word* word, bool, short)
{
    return cmd_ansicpg(converter, word, true, 850);
}

bool GenericConverter::cmd_fonttbl(GenericConverter* converter, const Word* word, bool, short)
{
    const Word* current = word ? word->GetNext() : nullptr;
    while (current) {
        bool grouped = current->GetChild() != nullptr;
        const Word* first = grouped ? current->GetChild() : current;
        int number = 0;
        if (!fontNumber(first->GetCommand(), number)) {
            current = current->GetNext();
            continue;
        }
        // An entry in its own group is read to the group's end; one in the
        // table's own chain ends at the first name word ending in ";".
        std::string name;
        const Word* last = current;
        for (const Word* part = first->GetNext(); part; part = part->GetNext()) {
            if (!isNameWord(part))
                continue;
            name += part->GetCommand();
            if (!grouped && name.back() == ';') {
                last = part;
                break;
            }
            if (!grouped)
                last = part;
        }
        name = trim_string(name);
        size_t semicolon = name.rfind(';');
        if (semicolon != std::string::npos)
            name.erase(semicolon);
        converter->m_fonts[number] = std::move(name);
        current = last->GetNext();
    }
    return true;
}

} // namespace rtf
