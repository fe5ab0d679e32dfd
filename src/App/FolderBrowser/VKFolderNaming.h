#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

class VKFileResource;
class VKFolderCommands;

// Naming things in the folder: a new folder, and a new name for the one
// marked item. Both ask in a prompt, check the typed name against the
// folder's children (a taken name asks again, naming it), and only then
// touch the disk through the commands' createNewFolderAtPath and
// renameResourceNoConfirmation, which a cloud folder's commands replace. A
// typed name is only ever a name: anything that would reach another folder
// is refused. The prompts and sheets report to the commands' dispatcher.
class VKFolderNaming {
public:
    // The longest name a folder holds.
    static constexpr size_t MaximumNameLength = 255;

    // The commands own the naming and outlive it.
    explicit VKFolderNaming(VKFolderCommands& commands) : m_commands(commands) { }

    // Whether a typed name may be an item's name here: not empty, not "."
    // or "..", no "/" or NUL, at most MaximumNameLength bytes.
    static bool isValidItemName(const std::string& name);

    void promptForNewFolderNamePreviousConflict(const std::optional<std::string>& conflict);
    // A name typed in the new folder prompt: a hidden name is warned about
    // first, unless hidden files show.
    void newFolderNameTyped(const std::string& name);
    void tryCreatingNewFolder(const std::string& name);
    // The folder made on disk, listed and scrolled to.
    void createNewFolderAtPath(const std::string& path);

    void promptForNewNameForResource(const std::shared_ptr<VKFileResource>& resource,
        const std::optional<std::string>& conflict);
    // A changed extension of a document asks first (with confirmations).
    void renameResource(const std::shared_ptr<VKFileResource>& resource, const std::string& name, bool withConfirmations);
    // The rename on disk, with the list, the notifications and the scroll.
    void renameResourceOnDisk(const std::shared_ptr<VKFileResource>& resource, const std::string& name);

private:
    // The prompts with their title and text as given.
    void showNewFolderPrompt(const std::string& title, const std::string& text);
    void showRenamePrompt(const std::shared_ptr<VKFileResource>& resource, const std::string& title, const std::string& text);

    VKFolderCommands& m_commands;
};
