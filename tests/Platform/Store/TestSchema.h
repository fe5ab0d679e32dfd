#pragma once

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Coordinator.h"
#include "Platform/Store/Object.h"
#include "Platform/Store/Schema.h"
#include "Support/Command.h"
#include "Support/NotificationRecorder.h"
#include "Support/TestCase.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

// A small tree of named items, the shape the mirror of a cloud folder tree
// has: a folded name, a size, a folder flag, a note and a transient progress.
struct NodeSchema {
    static constexpr size_t Name = 0;
    static constexpr size_t Size = 1;
    static constexpr size_t IsDirectory = 2;
    static constexpr size_t Note = 3;
    static constexpr size_t Progress = 4;

    static store::Schema make(int version = 1)
    {
        store::Schema schema("Node", version);
        schema.addAttribute({ "name", store::AttributeType::Text, {}, store::Attribute::Folded });
        schema.addAttribute({ "size", store::AttributeType::Integer, core::Value(0) });
        schema.addAttribute({ "isDirectory", store::AttributeType::Boolean, core::Value(false) });
        schema.addAttribute({ "note", store::AttributeType::Text });
        schema.addAttribute({ "progress", store::AttributeType::Double, core::Value(0.0), store::Attribute::Transient });
        schema.addIndex("NodeParentName", { "parent", "name" });
        schema.addIndex("NodeParentNameFolded", { "parent", "nameFolded" });
        return schema;
    }
};

// A test with a store file in its home and a context on it.
class StoreTestCase : public TestCase {
protected:
    std::string storePath() const { return pathInHome("store.sqlite"); }

    std::shared_ptr<store::Coordinator> openCoordinator(store::Schema schema = NodeSchema::make(),
        const std::string& path = {})
    {
        return store::Coordinator::open(path.empty() ? storePath() : path, std::move(schema));
    }

    std::shared_ptr<store::Object> insert(store::Context& context, const std::string& name,
        const std::shared_ptr<store::Object>& parent = nullptr, int64_t size = 0, bool folder = false)
    {
        auto object = context.insertObject();
        object->setValueAt(NodeSchema::Name, core::Value(name));
        object->setValueAt(NodeSchema::Size, core::Value(size));
        object->setValueAt(NodeSchema::IsDirectory, core::Value(folder));
        object->setParent(parent);
        return object;
    }

    static std::vector<std::string> names(const std::vector<std::shared_ptr<store::Object>>& objects)
    {
        std::vector<std::string> result;
        for (const auto& object : objects)
            result.push_back(object->stringAt(NodeSchema::Name));
        std::sort(result.begin(), result.end());
        return result;
    }

    // What sqlite3 reads from the file, from outside the process's
    // connections.
    std::string sqlite(const std::string& sql, const std::string& path = {})
    {
        auto result = runCommand({ "sqlite3", path.empty() ? storePath() : path, sql });
        EXPECT_EQ(result.status, 0) << sql;
        while (!result.output.empty() && result.output.back() == '\n')
            result.output.pop_back();
        return result.output;
    }
};

} // namespace test
