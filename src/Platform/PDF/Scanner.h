#pragma once

// Walks a page's content once, operator by operator. The operands before an
// operator are kept on a stack; a registered operator's callback pops them
// (last operand first), and they are dropped after every operator, used or
// not. Inline images are skipped whole. Damage (a bad token, a string or
// array that never ends, more than 10,000 operands or nesting deeper than 64)
// ends the scan; so does content longer than 256 MiB once decoded.

#include "Platform/PDF/Array.h"
#include "Platform/PDF/OperatorTable.h"
#include "Platform/PDF/Page.h"

#include <memory>
#include <string>
#include <string_view>

namespace pdf {

class Scanner {
public:
    Scanner(const Page& page, const OperatorTable& table, void* info);
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Runs the whole content; false when damage ended it early (the
    // operators before the damage were still reported).
    bool scan();

    // Each pops the last operand when it has that type; a failed pop
    // returns false and leaves the stack as it was.
    bool popNumber(double& out);
    bool popName(std::string& out);
    bool popString(String& out);
    bool popArray(Array& out);
    bool popObject(Object& out);

    // A named resource of the page ("Font", "F1"), looked up in the page's
    // Resources and then in those it inherits.
    bool resource(std::string_view category, std::string_view name, Object& out) const;

    const Page& page() const { return m_page; }

    struct Operands;

private:
    Page m_page;
    const OperatorTable& m_table;
    void* m_info;
    std::unique_ptr<Operands> m_operands;
};

} // namespace pdf
