#pragma once

#include "RTF/GenericConverter.h"
#include "RTF/OutputTags.h"
#include "RTF/Parser.h"

#include <cstddef>
#include <memory>

namespace rtf {

// The RTF-to-HTML converter: the generic converter writing with the HTML tag
// set. One converter serves one document at a time; conversions on other
// threads use converters of their own.
class Converter2HTML : public GenericConverter {
public:
    // The output may grow to this floor plus this many bytes per input byte;
    // ordinary documents stay far below, hostile ones fail.
    static constexpr size_t kOutputFloor = 16 << 20;
    static constexpr size_t kOutputPerInputByte = 32;
    // The output buffer is reserved for this floor plus this many bytes per
    // input byte, within the limit.
    static constexpr size_t kOutputReserveFloor = 1 << 20;
    static constexpr size_t kOutputReservePerInputByte = 4;

    Converter2HTML();
    ~Converter2HTML() override;

    using GenericConverter::Convert;
    // The whole HTML document, or EMPTY_STRING when the stream has ended
    // already or anything in the conversion fails (the output written so
    // far is discarded).
    const std::string& Convert(std::istream& in, Params& params) override;

    // A new HTML tag set.
    static std::unique_ptr<OutputTags> CreateHTMLOutputTags();

private:
    Parser m_parser;
    std::unique_ptr<OutputTags> m_html_tags;
};

} // namespace rtf
