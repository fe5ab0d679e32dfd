#pragma once

#include "Platform/Core/Error.h"

#include <string>
#include <string_view>
#include <vector>

// Where the folder browser's long work makes its items before they take
// their final names: copies, moves across file systems, archives and
// expanded archives. It is a folder of the home's temporary directory
// (tmp/Staging/<this run>), beside nothing the server, the folder screens or
// the quota look at, so a part cut off, even by a killed process, never
// shows as an item or takes room in the store; an item is renamed into place
// only once it is whole. Each run stages in a folder of its own, and the
// folders of earlier runs are what removeAbandonedItems takes away, so it
// may run on any thread while this run works. A target on another file
// system than the home's (where no rename can reach it) gets a hidden
// sibling instead.
//
// What this run makes outside its folder is written down first in the
// folder's journal, so that the sweep of a killed run finds it too: those
// hidden siblings, and an item set aside while another takes its place
// (known by its identity, never by its name alone). The sweep removes a
// sibling that is still there, puts an item set aside back where nothing
// took its place, and sends one whose place was taken to the desktop's
// trash as the item it replaced (a free name beside it where the trash
// cannot take it). Work of several items that stands only whole (a copy)
// notes each item it finished and, at its end, that it stands: the sweep
// sends the items of work that never stood to the desktop's trash (where
// they are still the items made), before it puts back what they replaced.
// Nothing else, a user's own dot-files above all, is touched.
class VKStagingFolder {
public:
    // This run's folder, made (0700) when missing.
    static std::string path();
    // A path nothing holds now for an item meant to become `target`; `tag`
    // says what is made there ("copy", "zip"). Whoever makes the item must
    // not replace one (another may take the name first) and asks again.
    static std::string pathForItem(const std::string& target, std::string_view tag);
    // Removes what earlier runs left; this run's folder stays, and so does
    // the folder of a run whose journal is damaged. Answers the
    // places in the store it settled (an item put back, trashed or a
    // sibling removed), for the quota to follow.
    static std::vector<std::string> removeAbandonedItems();
    // Written down before the item at `original` moves to `aside` (a path
    // nothing holds, on its file system) for another to take its place; the
    // caller settles it when the work ends. False, with the reason, when the
    // item is gone or the note cannot be written: then it must not move.
    static bool recordAside(const std::string& aside, const std::string& original, core::Error* error = nullptr);
    // Work that stands only whole: a name for it, each item it finished
    // (noted by its identity, once it stands at `item`), and its end, once
    // it stands or was undone.
    static std::string beginWork();
    static void recordMade(const std::string& work, const std::string& item);
    static void recordStands(const std::string& work);

    // The same for any staging folder: a path in `folder` when it is on the
    // target's file system, else a hidden sibling of the target; and the
    // removal of everything in `folder` but `kept`.
    static std::string pathForItemIn(const std::string& folder, const std::string& target, std::string_view tag);
    static void removeItemsIn(const std::string& folder, std::string_view kept = {});
};
