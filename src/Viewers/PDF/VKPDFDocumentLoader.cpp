#include "Viewers/PDF/VKPDFDocumentLoader.h"

#include "Viewers/PDF/VKPDFViewController.h"

#include "Shell/VKApplication.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKFileResource.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFOutlineScanner.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/ErrorInfo.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/TextField.h"

#include <mutex>

namespace {

std::mutex loadHookMutex;
std::function<void()>& loadHook()
{
    static std::function<void()> hook;
    return hook;
}

} // namespace

void VKPDFDocumentLoader::setHookForTesting(std::function<void()> hook)
{
    std::lock_guard lock(loadHookMutex);
    loadHook() = std::move(hook);
}

VKPDFDocumentLoader::~VKPDFDocumentLoader()
{
    stop();
    dropPasswordAlert();
}

void VKPDFDocumentLoader::stop()
{
    if (m_thread)
        m_thread->cancel();
    m_thread.reset();
    ++m_generation;
}

void VKPDFDocumentLoader::start()
{
    stop();
    std::shared_ptr<VKFileResource> item = m_viewer.resource();
    std::string path = item ? item->path() : std::string();
    std::optional<std::string> password = m_password;
    unsigned generation = m_generation;
    std::weak_ptr<VKPDFDocumentLoader> weakLoader = shared_from_this();
    m_thread = core::Thread::detach("VKPDFLoad", [weakLoader, item, path, password, generation] {
        std::function<void()> hook;
        {
            std::lock_guard lock(loadHookMutex);
            hook = loadHook();
        }
        if (hook)
            hook();
        core::Error error;
        auto document = VKPDFDocument::initWithPath(path, password, &error);
        std::shared_ptr<VKPDFOutlineScanner> scanner;
        if (document) {
            scanner = VKPDFOutlineScanner::initWithDocumentRef(document->documentRef());
            // Read every page's box here, so the main thread never parses.
            document->pageGeometry(0);
        }
        // The search index's file is found (the item's UUID, read or
        // written in its attribute) and opened here too, off the main thread.
        std::shared_ptr<VKPageIndexStore> indexStore;
        if (document && item)
            if (auto indexPath = VKContentIndexManager::sharedManager()->contentIndexPathForResource(*item))
                indexStore = VKPageIndexStore::storeForPath(*indexPath);
        // One hand-back carries everything; a viewer gone (its loader with
        // it) or a newer attempt drops it.
        core::RunLoop::main().post(weakLoader, [generation, document, scanner, indexStore, error](VKPDFDocumentLoader& loader) mutable {
            if (loader.m_generation != generation)
                return;
            loader.m_thread.reset();
            if (document)
                loader.m_viewer.documentLoadingThreadDidSucceed(std::move(document), std::move(scanner),
                    std::move(indexStore));
            else
                loader.m_viewer.documentLoadingThreadDidFailWithError(error);
        });
    });
}

void VKPDFDocumentLoader::showPasswordAlert(const core::Error& error)
{
    std::string title = error.localizedDescription() + ":\n" + error.localizedFailureReason() + "\n";
    if (m_passwordAlert)
        m_passwordAlert->setDelegate({});
    m_passwordAlert = VKPopupAlert::create(title, std::static_pointer_cast<VKPopupAlertDelegate>(shared_from_this()));
    m_passwordAlert->setCancelButtonIndex(m_passwordAlert->addCancelButtonWithTitle(core::localized("Cancel")));
    for (auto& option : core::errorInfo::localizedRecoveryOptions(error))
        m_passwordAlert->addButtonWithTitle(option);
    m_passwordAlert->addTextFieldWithPlaceholder(core::localized("Password"), "");
    m_passwordAlert->textField()->setSecureTextEntry(true);
    m_passwordAlert->show();
}

void VKPDFDocumentLoader::dropPasswordAlert()
{
    if (!m_passwordAlert)
        return;
    m_passwordAlert->setDelegate({});
    m_passwordAlert.reset();
}

void VKPDFDocumentLoader::popupAlert(VKPopupAlert& alert, int buttonIndex)
{
    if (&alert == m_passwordAlert.get())
        m_passwordAlert.reset();
    if (alert.tag() == VKAlertViewTagSystemCancelled)
        return;
    if (buttonIndex == alert.cancelButtonIndex()) {
        // The pop can end the viewer, and this loader with it.
        if (auto* navigation = m_viewer.navigationController())
            navigation->popViewController(true);
        return;
    }
    m_password = alert.textField() ? alert.textField()->text() : std::string();
    m_viewer.attemptLoadOnBackgroundThread();
}
