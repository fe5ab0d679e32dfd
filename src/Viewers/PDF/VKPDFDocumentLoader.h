#pragma once

// Opening the PDF viewer's file. The file opens on a thread of its own
// ("VKPDFLoad"), which also builds the outline scanner, reads every page's
// geometry and finds and opens the kept search index; all of it comes back
// to the viewer in one hand-back on the main loop that carries a
// generation, so a newer attempt, a stop or the viewer gone drops it. A
// locked document asks for its password in a popup: a password tries
// again, Cancel pops the viewer, a popup the system took away changes
// nothing. The viewer makes it with itself and holds it for its whole life;
// the thread's hand-back and the popup reach it weakly.

#include "Shell/Interface/VKPopupAlert.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace core {
class Error;
class Thread;
} // namespace core
class VKPDFViewController;

class VKPDFDocumentLoader : public VKPopupAlertDelegate, public std::enable_shared_from_this<VKPDFDocumentLoader> {
public:
    // Runs on the loading thread before the file is opened.
    static void setHookForTesting(std::function<void()> hook);

    explicit VKPDFDocumentLoader(VKPDFViewController& viewer) : m_viewer(viewer) { }
    ~VKPDFDocumentLoader() override;

    // Opens the viewer's file with the password given last.
    void start();
    void stop();
    bool isLoading() const { return m_thread != nullptr; }
    const std::optional<std::string>& password() const { return m_password; }

    void showPasswordAlert(const core::Error& error);
    VKPopupAlert* passwordAlert() const { return m_passwordAlert.get(); }
    void dropPasswordAlert();
    void popupAlert(VKPopupAlert& alert, int buttonIndex) override;

private:
    VKPDFViewController& m_viewer;
    std::optional<std::string> m_password;
    std::shared_ptr<VKPopupAlert> m_passwordAlert;
    std::shared_ptr<core::Thread> m_thread;
    // A hand-back of an older attempt is dropped.
    unsigned m_generation = 0;
};
