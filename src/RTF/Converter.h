#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>

namespace rtf {

// What a conversion is asked to leave out.
struct Params {
    // The document information group writes nothing but its hyperlink base.
    bool omit_info = false;
};

// The result of a conversion that has none.
extern const std::string EMPTY_STRING;

// Base of the converters: the output built so far and the ways to add to it.
class Converter {
public:
    virtual ~Converter();

    // Null or empty text gives EMPTY_STRING; otherwise the stream conversion
    // of the same text.
    virtual const std::string& Convert(const char* text, Params& params);
    virtual const std::string& Convert(std::istream& in, Params& params) = 0;

    const std::string& GetOutput() const { return m_output; }
    void ClearOutput() { m_output.clear(); }
    // Hands the output over, leaving it empty.
    std::string TakeOutput() { return std::move(m_output); }

    // Output beyond this many bytes throws rtf::Exception: a small hostile
    // document can ask for closing and reopening many tags in many groups.
    void SetOutputLimit(size_t bytes) { m_output_limit = bytes; }

    // Appends s; a null s appends nothing.
    void OutputString(const char* s);
    void OutputString(std::string_view s);
    // Appends the text formatted as by printf, however long; a null or empty
    // format appends nothing.
    void OutputFormatString(const char* format, ...) __attribute__((format(printf, 2, 3)));

protected:
    std::string m_output;

private:
    bool has_room(size_t bytes) const;
    void make_room(size_t bytes);

    size_t m_output_limit = static_cast<size_t>(-1);
};

} // namespace rtf
