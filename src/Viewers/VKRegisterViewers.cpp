#include "Viewers/VKRegisterViewers.h"

#include "Viewers/AudioPlayer/VKAudioPlayerController.h"
#include "Viewers/Image/VKImageViewController.h"
#include "Viewers/Movie/VKMoviePlayerController.h"
#include "Viewers/PDF/VKDocumentViewHorizontalDouble.h"
#include "Viewers/PDF/VKPDFViewController.h"
#include "Viewers/Text/VKTextViewController.h"
#include "Viewers/Web/VKWebViewController.h"

void VKRegisterViewers()
{
    VKViewController::setViewerFactory(VKViewerKind::Image,
        [](const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folder) {
            return std::static_pointer_cast<VKViewController>(
                VKImageViewController::imageViewControllerWithResource(resource, folder));
        });
    VKViewController::setViewerFactory(VKViewerKind::Audio,
        [](const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folder)
            -> std::shared_ptr<VKViewController> { return VKAudioPlayerController::create(resource, folder); });
    VKViewController::setViewerFactory(VKViewerKind::Movie, [](const auto& resource, const auto& folder) {
        return std::static_pointer_cast<VKViewController>(VKMoviePlayerController::create(resource, folder));
    });
    VKViewController::setViewerFactory(VKViewerKind::Text, [](const auto& resource, const auto& folder) {
        return std::static_pointer_cast<VKViewController>(VKTextViewController::create(resource, folder));
    });
    VKViewController::setViewerFactory(VKViewerKind::Web, [](const auto& resource, const auto& folder) {
        return std::static_pointer_cast<VKViewController>(VKWebViewController::create(resource, folder));
    });
    VKViewController::setViewerFactory(VKViewerKind::PDF, [](const auto& resource, const auto& folder) {
        return std::static_pointer_cast<VKViewController>(VKPDFViewController::create(resource, folder));
    });
    VKPDFViewController::setLayoutViewFactory(VKPDFViewController::SinglePages, [](const gfx::Rect& frame, bool) {
        return std::static_pointer_cast<VKDocumentView>(VKDocumentViewHorizontal::create(frame));
    });
    VKPDFViewController::setLayoutViewFactory(VKPDFViewController::DoublePages, [](const gfx::Rect& frame, bool singleFirstPage) {
        auto view = VKDocumentViewHorizontalDouble::create(frame);
        view->setSingleFirstPage(singleFirstPage);
        return std::static_pointer_cast<VKDocumentView>(view);
    });
}
