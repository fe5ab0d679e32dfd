#pragma once

#include "RTF/StackWithPeek.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace rtf {

class GenericConverter;
class Word;
struct OutputTags;

// The character attributes in force while a document is converted: one
// stack of them per open group, the tags each kind writes as it opens and
// closes, the capitals in force, and the keywords that change them (bold to
// underline, sizes, letter spacing, colours, faces, capitals, \plain). A
// group starts with a copy of the enclosing group's stack, whose tags are
// open already, and at its end closes its own and opens the enclosing ones
// again. Held by one converter, which it writes through.
class AttributeStacks {
public:
    // An attribute in force: its kind and what its opening tag needs (a
    // size, a face list, a colour as #rrggbb, a letter spacing).
    using Attribute = std::pair<int, std::string>;
    using Stack = StackWithPeek<Attribute, std::vector<Attribute>>;

    // A group's stack holds at most this many entries; a push beyond it first
    // folds the stack to the last entry of each kind, which shows the same.
    static constexpr size_t kMaxAttributes = 64;

    explicit AttributeStacks(GenericConverter& converter);
    AttributeStacks(const AttributeStacks&) = delete;
    AttributeStacks& operator=(const AttributeStacks&) = delete;

    // Writes the opening or closing tag of one attribute.
    void express(bool on, int kind, const std::string& param);
    // Opens an attribute in the innermost group (and the body and table
    // cell it is written in).
    void push(int kind, std::string param);
    // Closes the innermost entry of a kind; true when it was the top one.
    bool pop(int kind);
    // The kind and parameter of the innermost entry; 0 and empty for none.
    int topKind() const;
    std::string topParam() const;
    // Closes and removes every entry of the innermost group, and the capitals.
    void popAll();
    // Removes them without closing: their tags are closed already.
    void dropAll();
    // A group starts and ends.
    void pushStack();
    void dropStack();
    // The opening or closing tags of every entry of the innermost group,
    // keeping them.
    void expressAll();
    void unexpressAll();
    // Closes and removes every entry of a kind in the innermost group.
    void removeKind(int kind);

    bool caps() const { return m_caps != 0; }
    bool smallCaps() const { return m_scaps != 0; }
    // A new document starts without capitals.
    void resetCaps() { m_caps = 0; }
    // Forgets every stack, without writing.
    void clear();

    // Character attributes.
    static bool cmd_b(GenericConverter*, const Word*, bool, short);
    static bool cmd_i(GenericConverter*, const Word*, bool, short);
    static bool cmd_ul(GenericConverter*, const Word*, bool, short);
    static bool cmd_uld(GenericConverter*, const Word*, bool, short);
    static bool cmd_ulw(GenericConverter*, const Word*, bool, short);
    static bool cmd_ulth(GenericConverter*, const Word*, bool, short);
    static bool cmd_ulwave(GenericConverter*, const Word*, bool, short);
    static bool cmd_uldb(GenericConverter*, const Word*, bool, short);
    static bool cmd_uldash(GenericConverter*, const Word*, bool, short);
    static bool cmd_uldashd(GenericConverter*, const Word*, bool, short);
    static bool cmd_uldashdd(GenericConverter*, const Word*, bool, short);
    static bool cmd_ulnone(GenericConverter*, const Word*, bool, short);
    static bool cmd_strike(GenericConverter*, const Word*, bool, short);
    static bool cmd_striked(GenericConverter*, const Word*, bool, short);
    static bool cmd_strikedl(GenericConverter*, const Word*, bool, short);
    static bool cmd_shad(GenericConverter*, const Word*, bool, short);
    static bool cmd_outl(GenericConverter*, const Word*, bool, short);
    static bool cmd_emboss(GenericConverter*, const Word*, bool, short);
    static bool cmd_impr(GenericConverter*, const Word*, bool, short);
    static bool cmd_super(GenericConverter*, const Word*, bool, short);
    static bool cmd_up(GenericConverter*, const Word*, bool, short);
    static bool cmd_sub(GenericConverter*, const Word*, bool, short);
    static bool cmd_dn(GenericConverter*, const Word*, bool, short);
    static bool cmd_nosupersub(GenericConverter*, const Word*, bool, short);
    static bool cmd_caps(GenericConverter*, const Word*, bool, short);
    static bool cmd_scaps(GenericConverter*, const Word*, bool, short);
    static bool cmd_fs(GenericConverter*, const Word*, bool, short);
    static bool cmd_expand(GenericConverter*, const Word*, bool, short);
    static bool cmd_cf(GenericConverter*, const Word*, bool, short);
    static bool cmd_cb(GenericConverter*, const Word*, bool, short);
    static bool cmd_highlight(GenericConverter*, const Word*, bool, short);
    static bool cmd_f(GenericConverter*, const Word*, bool, short);
    static bool cmd_plain(GenericConverter*, const Word*, bool, short);

    // Font families.
    static bool cmd_fnil(GenericConverter*, const Word*, bool, short);
    static bool cmd_froman(GenericConverter*, const Word*, bool, short);
    static bool cmd_fswiss(GenericConverter*, const Word*, bool, short);
    static bool cmd_fmodern(GenericConverter*, const Word*, bool, short);
    static bool cmd_fscript(GenericConverter*, const Word*, bool, short);
    static bool cmd_fdecor(GenericConverter*, const Word*, bool, short);
    static bool cmd_ftech(GenericConverter*, const Word*, bool, short);

private:
    void fontSize(bool on, const OutputTags& tags, int size);

    GenericConverter& m_converter;
    StackWithPeek<Stack> m_stacks; // one per open group
    Stack* m_attrs = nullptr; // the innermost group's
    int m_caps = 0;
    int m_scaps = 0;
};

} // namespace rtf
