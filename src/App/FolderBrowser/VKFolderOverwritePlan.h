#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class VKFileResource;

// What moving or copying items into a folder would replace there, worked out
// before anything is touched: the items whose names are taken there, whether
// folders meet folders (they are replaced whole, never merged), the bytes a
// copy needs beyond what the replaced items free, and the question the
// overwrite sheet asks, which says all of that.
class VKFolderOverwritePlan {
public:
    // Other: a command of its own; the sheet names none.
    enum class Operation { Move, Copy, Download, Other };

    // `toTrash`: the replaced items go to the desktop's trash (local moves
    // and copies); the sheet says so.
    VKFolderOverwritePlan(const std::vector<std::shared_ptr<VKFileResource>>& items, const std::string& destination,
        Operation operation, bool toTrash);

    size_t collisionCount() const { return m_collisions.size(); }
    // Copies: the items' sizes less those of the items they replace (signed:
    // replacing larger items frees more than the copies take).
    int64_t bytesNeeded() const { return m_bytesNeeded; }

    // "Copy to "Work"" and a line on what is replaced and where it goes.
    std::string sheetTitle(const std::string& destinationName) const;
    // "Replace", "Replace 3 Items".
    std::string replaceButtonTitle() const;

private:
    struct Collision {
        std::string name;
        bool folderOverFolder = false;
    };
    Operation m_operation;
    bool m_toTrash;
    std::vector<Collision> m_collisions;
    int64_t m_bytesNeeded = 0;
};
