#pragma once

// Walks a page's content once, operator by operator. The operands before an
// operator are kept on a stack; a registered operator's callback pops them
// (last operand first), and they are dropped after every operator, used or
// not. Inline images are skipped whole. Damage (a bad token, a string or
// array that never ends, more than 10,000 operands or nesting deeper than 64)
// ends the scan; so does content longer than its limit (256 MiB unless
// set) once decoded.
//
// A form XObject is scanned by a scanner of its own, made from inside a
// callback of the scan that draws it: the form's content, its Resources,
// and for names they lack the resources of the scan that draws it.

#include "Platform/PDF/Array.h"
#include "Platform/PDF/OperatorTable.h"
#include "Platform/PDF/Page.h"
#include "Platform/PDF/Stream.h"

#include <memory>
#include <string>
#include <string_view>

namespace pdf {

class Scanner {
public:
    static constexpr size_t kMaximumContentBytes = size_t(256) << 20;

    Scanner(const Page& page, const OperatorTable& table, void* info);
    // The content of `form` (a form XObject of the page `parent` scans).
    Scanner(const Stream& form, const Scanner& parent, const OperatorTable& table, void* info);
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Runs the whole content; false when damage ended it early (the
    // operators before the damage were still reported).
    bool scan();
    // Content decoded beyond this many bytes counts as damage.
    void setContentLimit(size_t bytes) { m_contentLimit = bytes; }
    // The bytes of content the last scan decoded.
    size_t contentBytes() const { return m_contentBytes; }

    // Each pops the last operand when it has that type; a failed pop
    // returns false and leaves the stack as it was.
    bool popNumber(double& out);
    bool popName(std::string& out);
    bool popString(String& out);
    bool popArray(Array& out);
    bool popObject(Object& out);

    // A named resource of the page ("Font", "F1"), looked up in the page's
    // Resources and then in those it inherits; for a form, in its own
    // Resources first.
    bool resource(std::string_view category, std::string_view name, Object& out) const;

    const Page& page() const { return m_page; }

    struct Operands;

private:
    Page m_page;
    // A form's stream and the scan that draws it; empty for a page.
    std::unique_ptr<Stream> m_form;
    const Scanner* m_parent = nullptr;
    const OperatorTable& m_table;
    void* m_info;
    std::unique_ptr<Operands> m_operands;
    size_t m_contentLimit = kMaximumContentBytes;
    size_t m_contentBytes = 0;
};

} // namespace pdf
