#pragma once

// Files handed over through the application's inbox, and where imports go
// (header-only, for the application's tests).

#include "Shell/VKApplication.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace test {

// A file another application left in the inbox.
inline std::string inboxFile(const std::string& name, std::string_view contents = "%PDF-1.4")
{
    const auto inbox = VKApplication::sharedApplication()->inboxDirectory();
    EXPECT_TRUE(core::fs::createDirectory(inbox, true));
    const auto path = core::path::appendingPathComponent(inbox, name);
    EXPECT_TRUE(core::fs::writeFileAtomically(path, contents));
    return path;
}

// The private "Imports" folder, or a name in it.
inline std::string imports(const std::string& name = {})
{
    auto folder = VKApplication::sharedApplication()->documentsDirectory() + "/Imports";
    return name.empty() ? folder : folder + "/" + name;
}

} // namespace test
