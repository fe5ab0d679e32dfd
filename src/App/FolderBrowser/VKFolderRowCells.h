#pragma once

#include <memory>
#include <string>

class VKFileResource;
class VKFileResourceCell;
class VKFolderEditing;

namespace ui {
class TableView;
class TableViewCell;
}

// The folder screen's row cells: made (of the kind the item takes, reused
// from the table when it has one) for an item, dressed as they show
// (editing, marked, the disclosure indicator unless the letter strip
// shows) and asked for an image's thumbnail.
class VKFolderRowCells {
public:
    // `showsParent`: a "Local Files" result also names its folder.
    static std::shared_ptr<VKFileResourceCell> make(ui::TableView& table,
        const std::shared_ptr<VKFileResource>& resource, bool showsParent);
    // The folder a result lies in, under its root's name: "Documents/Work".
    static std::string parentName(const VKFileResource& resource);
    static void dress(ui::TableViewCell& cell, bool editing, const VKFolderEditing& marks, bool stripShows);
    // Images without a thumbnail have one made (downloads wait until done).
    static void askThumbnail(ui::TableViewCell& cell);
};
