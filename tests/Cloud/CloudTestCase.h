#pragma once

#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Platform/Core/Path.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

namespace test {

// Tests of the cloud layer: the servers folder of the test's home and the
// shared mirror store on it.
class CloudTestCase : public TestCase {
protected:
    using NodePointer = std::shared_ptr<VKCloudManagedObject>;

    static std::string servers() { return VKApplication::sharedApplication()->serversDirectory(); }
    static std::string serverPath(std::string_view relative)
    {
        return core::path::appendingPathComponent(servers(), relative);
    }
    static std::shared_ptr<VKCloudFileStore> store() { return VKCloudFileStore::sharedStore(); }
    static NodePointer node(std::string_view relative) { return store()->managedObjectForPath(serverPath(relative)); }

    // A node (not saved) at the path below the servers folder.
    static NodePointer makeNode(std::string_view relative, bool folder = false, int64_t size = 0)
    {
        core::Error error;
        auto made = store()->insertObjectForPath(serverPath(relative), &error);
        EXPECT_TRUE(made) << relative << ": " << error.description();
        if (made) {
            made->setIsDirectory(folder);
            made->setSize(size);
        }
        return made;
    }

    // What sqlite3 reads from the store file.
    static std::string sqlite(const std::string& sql, const std::string& path = VKCloudFileStore::fileStorePath())
    {
        // A save still finishing elsewhere is waited for, as the program would.
        auto result = runCommand({ "sqlite3", "-cmd", ".timeout 10000", path, sql });
        EXPECT_EQ(result.status, 0) << sql;
        while (!result.output.empty() && result.output.back() == '\n')
            result.output.pop_back();
        return result.output;
    }
};

} // namespace test
