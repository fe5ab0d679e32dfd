#include "CloudViewerTestCase.h"

#include "Shell/Interface/VKPlaceholderView.h"
#include "Platform/UI/Label.h"

namespace test {

std::string CloudViewerTestCase::labelText(VKViewController& viewer)
{
    auto* label = viewer.placeholderView()->label();
    return label ? label->text() : "<none>";
}

} // namespace test
