#pragma once

#include "Viewers/RTF/GenericConverter.h"
#include "Viewers/RTF/OutputTags.h"

#include <memory>

namespace rtf {

// The RTF-to-HTML converter: the generic converter writing with the HTML tag
// set.
class Converter2HTML : public GenericConverter {
public:
    // A new HTML tag set.
    static std::unique_ptr<OutputTags> CreateHTMLOutputTags();
};

} // namespace rtf
