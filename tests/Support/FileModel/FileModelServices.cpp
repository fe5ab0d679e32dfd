// Per-test resets of the file model's shared services: every test starts
// without hooks (nothing locked, no downloads, no cloud mirror), with fresh
// managers on its own home and the trash in that home's metadata folder.

#include "FileModel/VKCloudHooks.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKIconManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKServerLockHooks.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Support/TestEnvironment.h"

namespace {

void resetFileModel()
{
    VKServerLockHooks::setCurrent(nullptr);
    VKDownloadHooks::setCurrent(nullptr);
    VKCloudHooks::setCurrent(nullptr);
    VKQuotaManager::setDefaultManagerForTesting(nullptr);
    VKQuotaManager::setFreeSpaceFunctionForTesting(nullptr);
    VKContentIndexManager::setSharedManagerForTesting(nullptr);
    VKIconManager::setSharedManagerForTesting(nullptr);
    VKFileSettingsManager::setDefaultManagerForTesting(nullptr);
    setThumbnailCacheRemovalHook(nullptr);
    setTrashItemRemovalHook(nullptr);
    setTrashPathProvider([] { return VKHomeLayout::current()->trashDirectory(); });
}

const bool registered = (test::TestEnvironment::addReset(resetFileModel), true);

} // namespace
