#include "Support/UserAttributes.h"

#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/FileSystem.h"

namespace test {

::testing::AssertionResult takesUserAttributes(const std::string& folder)
{
    std::string probe = folder + "/.user-attribute-probe";
    core::Error error;
    bool taken = core::fs::writeFileAtomically(probe, "", &error)
        && core::ExtendedAttributes::setValue(probe, "probe", "1", 0, &error);
    core::fs::removeItem(probe);
    if (taken)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the test home " << folder
                                         << " does not take user extended attributes: " << error.description();
}

} // namespace test
