// The folder screen's editing coordinator on its own, without a window or a
// folder: marks kept to the rows listed, the toolbar's state for the marks,
// the Select All / Select None item, and marks with no host.

#include "App/FolderBrowser/VKFolderEditing.h"

#include "FileModel/VKFileResource.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Support/UITestCase.h"

namespace {

using Strings = std::vector<std::string>;

struct Item : VKFileResource {
    Item(std::string path, int32_t operations) : VKFileResource(std::move(path)), operations(operations) { }
    int32_t supportedFileOperations() const override { return operations; }
    int32_t operations;
};

struct EditingHost : VKFolderEditing::Host {
    std::vector<VKFolderRow> rows;
    ui::NavigationItem item;
    std::vector<std::shared_ptr<ui::BarButtonItem>> bar;
    bool active = true;
    Strings calls;

    void list(const Strings& names)
    {
        rows.clear();
        for (const auto& name : names) {
            VKFolderRow row;
            row.resource = std::make_shared<Item>("/d/" + name, name.starts_with("inert") ? 0 : 0xff);
            rows.push_back(std::move(row));
        }
    }
    const std::vector<VKFolderRow>& editingRows() override { return rows; }
    uint64_t editingSizeOfItem(const VKFileResource& resource) const override { return resource.name().size(); }
    void editingMarksReset() override { calls.push_back("reset"); }
    bool editingIsActive() const override { return active; }
    ui::NavigationItem& editingNavigationItem() override { return item; }
    const std::vector<std::shared_ptr<ui::BarButtonItem>>& editingBarItems() const override { return bar; }
    ui::Toolbar* editingToolbar() const override { return nullptr; }
    void editingMarkAll() override { calls.push_back("markAll"); }
    void editingUnmarkAll() override { calls.push_back("unmarkAll"); }
};

Strings names(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    Strings found;
    for (const auto& resource : resources)
        found.push_back(resource->name());
    return found;
}

Strings enabled(const std::vector<std::shared_ptr<ui::BarButtonItem>>& items)
{
    Strings found;
    for (const auto& item : items)
        if (!item->isFlexibleSpace() && item->isEnabled())
            found.push_back(findAction(*item).value_or("?"));
    return found;
}

using VKFolderEditingTest = test::UITestCase;

TEST_F(VKFolderEditingTest, MarksKeepToTheRowsListedInRowOrder)
{
    auto host = std::make_shared<EditingHost>();
    VKFolderEditing editing(host.get());
    host->list({ "a", "bb", "inert", "cccc" });

    editing.mark(*host->rows[3].resource);
    editing.mark(*host->rows[0].resource);
    editing.mark(*std::make_shared<Item>("/d/./a", 0xff)); // the same path, once
    EXPECT_EQ(editing.markCount(), 2u);
    EXPECT_EQ(editing.markedSize(), 5u);
    EXPECT_EQ(names(editing.markedResources()), (Strings { "a", "cccc" }));
    EXPECT_EQ(editing.markedIndexPathsForTesting(0), (std::vector<ui::IndexPath> { { 0, 0 }, { 0, 3 } }));

    // A refusal names the first item that cannot.
    host->rows[0].resource = std::make_shared<Item>("/d/a", 0x1);
    std::string why = "unset";
    EXPECT_TRUE(editing.markedResourcesSupport(0x1, &why));
    EXPECT_FALSE(editing.markedResourcesSupport(0x2, &why));

    // Rebuilt rows without "a": its mark and its size go.
    host->list({ "bb", "cccc", "new" });
    editing.prune();
    EXPECT_EQ(names(editing.markedResources()), (Strings { "cccc" }));
    EXPECT_EQ(editing.markedSize(), 4u);

    // All skips what allows nothing; an unmark of an unmarked item is harmless.
    host->list({ "a", "inert", "bb" });
    editing.markAll();
    EXPECT_EQ(names(editing.markedResources()), (Strings { "a", "bb" }));
    EXPECT_EQ(editing.markedSize(), 3u);
    editing.unmark(*host->rows[1].resource);
    editing.unmark(*host->rows[0].resource);
    EXPECT_EQ(editing.markedSize(), 2u);

    // Marks without a host answer nothing listed.
    VKFolderEditing alone;
    alone.mark(*host->rows[2].resource);
    EXPECT_TRUE(alone.markedResources().empty());
    alone.prune();
    alone.updateBars();
    EXPECT_EQ(alone.markCount(), 1u);
}

TEST_F(VKFolderEditingTest, TheBarsFollowTheMarks)
{
    auto host = std::make_shared<EditingHost>();
    VKFolderEditing editing(host.get());
    host->list({ "a", "bb" });
    auto noop = [](const std::shared_ptr<core::Object>&) { };
    host->bar = editing.makeToolbarItems({
        { "Delete", "Delete", "deleteMarkedItems", noop },
        { "Rename", "Rename", VKFolderEditing::RenameAction, noop },
        { "Sync", "Sync", VKFolderEditing::SyncAction, noop },
        { "More", "More", VKFolderEditing::MenuAction, noop },
    });
    ASSERT_EQ(host->bar.size(), 9u) << "each button between flexible spaces";
    EXPECT_EQ(enabled(host->bar), (Strings { "showEditActionMenu" }));
    host->item.setLeftBarButtonItem(barButtonItemWithTitle("Select All", ui::BarButtonItem::Style::Bordered, nullptr,
        VKFolderEditing::MarkAllAction, [](ui::BarButtonItem&) { }));

    editing.updateBars();
    EXPECT_EQ(enabled(host->bar), (Strings { "syncFolder", "showEditActionMenu" }));
    EXPECT_EQ(host->item.prompt(), "No Items Selected");

    editing.mark(*host->rows[1].resource);
    editing.updateBars();
    EXPECT_EQ(enabled(host->bar), (Strings { "deleteMarkedItems", "renameMarkedItem", "showEditActionMenu" }));
    EXPECT_EQ(host->item.prompt(), "1 Item Selected, 2 B");
    auto left = host->item.leftBarButtonItem();
    EXPECT_EQ(left->title(), "Select None");
    left->sendActions();
    EXPECT_EQ(host->calls, (Strings { "unmarkAll" }));

    editing.mark(*host->rows[0].resource);
    editing.updateBars();
    EXPECT_EQ(enabled(host->bar), (Strings { "deleteMarkedItems", "showEditActionMenu" }));

    // Outside editing the bars stay as they are.
    host->active = false;
    editing.clear();
    editing.updateBars();
    EXPECT_EQ(host->item.prompt(), "2 Items Selected, 3 B");
}

} // namespace
