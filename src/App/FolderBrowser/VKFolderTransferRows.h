#pragma once

#include "Platform/Core/Observation.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class VKFileResource;
class VKFileResourceCell;

namespace ui {
class TableView;
}

// The folder list's rows of transfers: a download into the folder is a row
// from its start, becomes its file's row when it finishes (or goes when no
// file came of it) and shows its failure; an upload in a cloud folder is a
// row too. Each has a row of its own kind, made by the screens that own the
// transfers ("VKDownloadFileResourceCell", "VKUploadFileResourceCell"),
// plain file rows until they register. The rows themselves are the host's.
class VKFolderTransferRows {
public:
    // The folder screen, held weakly.
    class Host {
    public:
        virtual ~Host() = default;
        // Whether the resource already has a row (a start heard twice).
        virtual bool transferIsListed(const std::shared_ptr<VKFileResource>& download) = 0;
        virtual void transferStarted(const std::shared_ptr<VKFileResource>& download) = 0;
        // `file` is the finished file, or null when none came of it.
        virtual void transferFinished(const std::shared_ptr<VKFileResource>& download,
            const std::shared_ptr<VKFileResource>& file) = 0;
        // A download's data was deleted: the folder is read again.
        virtual void transferDeleted() = 0;
        virtual void transferFailed(const std::shared_ptr<VKFileResource>& download) = 0;
        // After each of the above, and for downloads elsewhere too.
        virtual void transfersChanged() = 0;
    };

    using CellFactory = std::function<std::shared_ptr<VKFileResourceCell>(const std::string& identifier)>;
    static void registerCellFactory(const std::string& identifier, CellFactory factory);
    // The kind of row the resource takes.
    static std::string cellIdentifier(const VKFileResource* resource);
    // A row of that kind, reused from the table when it has one.
    static std::shared_ptr<VKFileResourceCell> dequeueCell(ui::TableView& table, const VKFileResource* resource);

    // Follows the downloads of `folderPath` (standardized) for the host.
    void observe(std::weak_ptr<Host> host, const std::string& folderPath);

private:
    std::vector<core::Observation> m_observations;
};
