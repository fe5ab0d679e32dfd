#include "App/FolderBrowser/VKFolderControllerOperationObserver.h"

namespace {

// The least step reported, with room for the rounding of 2 % sums.
constexpr double MinimumStep = 0.02 - 1e-9;

} // namespace

VKFolderControllerOperationObserver::VKFolderControllerOperationObserver(uint64_t totalBytes,
    VKBrowserOperation::Run run)
    : m_totalBytes(totalBytes), m_run(run)
{
}

bool VKFolderControllerOperationObserver::updateProgressBytes(uint64_t bytes)
{
    m_progressBytes += bytes;
    if (m_totalBytes != 0) {
        double fraction = double(m_progressBytes) / double(m_totalBytes);
        // Compared with what was reported last, so that many steps just
        // under 2 % still add up to reports.
        if (fraction - m_progress >= MinimumStep) {
            m_progress = fraction;
            VKBrowserOperation::setOperationProgress(float(fraction), m_run);
        }
    }
    return shouldContinue();
}

bool VKFolderControllerOperationObserver::shouldContinue() const
{
    return !VKBrowserOperation::isOperationCancelled(m_run);
}
