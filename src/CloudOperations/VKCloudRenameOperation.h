#pragma once

#include "CloudOperations/VKCloudMoveOperation.h"

// Renames one cloud item in its folder: a move to the item's folder with
// the new name, answered like any move. Names that are no plain name ("",
// ".", "..", a "/" or NUL inside) would address another item on the service
// and are refused before anything is sent.
class VKCloudRenameOperation : public VKCloudMoveOperation {
public:
    static std::shared_ptr<VKCloudRenameOperation> initWithResource(std::shared_ptr<VKFileResource> resource,
        std::string name);

    const std::string& name() const { return m_name; }
    void run() override;

protected:
    std::string localizedErrorDescription() override;

private:
    VKCloudRenameOperation(std::shared_ptr<VKFileResource> resource, std::string name);

    const std::string m_name;
};
