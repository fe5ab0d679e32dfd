#pragma once

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

    // Appends s; a null s appends nothing.
    void OutputString(const char* s);
    void OutputString(std::string_view s);
    // Appends the text formatted as by printf, however long; a null or empty
    // format appends nothing.
    void OutputFormatString(const char* format, ...) __attribute__((format(printf, 2, 3)));

protected:
    std::string m_output;
};

} // namespace rtf
