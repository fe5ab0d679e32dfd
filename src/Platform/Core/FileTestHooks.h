#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace core {

// Hooks through which tests make file work fail where a real disk rarely
// does on cue: an errno that the next FileHandle write fails with (a full
// disk mid-upload), a per-item verdict inside fs::copyItem (an item that
// cannot be copied, or a copy held up while the test moves its clock), and a
// per-path verdict inside fs::moveItem (one item of many that cannot be
// renamed, whatever the user running the tests may do).
// Process-wide, off unless a test turns them on; reset() turns them off.
class FileTestHooks {
public:
    static void failNextWrite(int error);
    // Asked with each source path before the item is copied: an errno fails
    // that item, 0 lets it go. Runs on the copying thread.
    static void setCopyItemHook(std::function<int(const std::string& from)> hook);
    // Asked with each source path before fs::moveItem renames it: an errno
    // fails the move with the item left where it was (EXDEV makes it copy
    // as across file systems), 0 lets it go. Runs on the moving thread.
    static void setRenameItemHook(std::function<int(const std::string& from)> hook);
    // Asked with each folder's path before fs::contentsOfDirectory (or its
    // typed kin) lists it: an errno fails the listing as the open would (a
    // folder the user may not read, descriptors run out), 0 lets it go.
    static void setListFolderHook(std::function<int(const std::string& path)> hook);
    // Asked with each path fs::openRegularFile opens: an errno fails the
    // open as open(2) would (a file the user may not read, whoever runs the
    // tests), 0 lets it go. Runs on the opening thread.
    static void setOpenFileHook(std::function<int(const std::string& path)> hook);
    // Asked after each step of file data a copy wrote, with the file being
    // written and its bytes so far: an errno fails the copy there (a disk
    // that fills mid-file), 0 goes on. Runs on the copying thread.
    static void setCopyDataHook(std::function<int(const std::string& to, uint64_t written)> hook);
    // Called before each FileHandle write, on the writing thread, with its
    // length: a hook may hold the write back (a disk slower than the
    // network).
    static void setWriteHook(std::function<void(size_t length)> hook);
    static void reset();

    // Used by the file layer: the injected errno (0 when none), which is
    // taken away by asking, and the hook's verdict for an item.
    static int takeWriteError();
    static int copyItemError(const std::string& from);
    static int renameItemError(const std::string& from);
    static int listFolderError(const std::string& path);
    static int openFileError(const std::string& path);
    static int copyDataError(const std::string& to, uint64_t written);
    static void willWrite(size_t length);
};

} // namespace core
