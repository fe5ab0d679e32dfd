#include "Platform/UI/Testing/DriverSteps.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewTreeDump.h"

namespace ui::testing {

Application& drivenApplication()
{
    auto* application = Application::shared();
    if (!application)
        throw core::Exception(DriverFailure, "no application");
    return *application;
}

void settle()
{
    core::RunLoop::main().runUntilIdle();
}

void failStep(const std::string& reason, const std::vector<const View*>& views)
{
    std::string message = reason;
    for (const View* view : views) {
        if (!view)
            continue;
        message += "\n  " + ViewTreeDump::line(*view);
        for (const View* up = view->superview(); up; up = up->superview())
            message += "\n    in " + ViewTreeDump::line(*up);
    }
    throw core::Exception(DriverFailure, message);
}

} // namespace ui::testing
