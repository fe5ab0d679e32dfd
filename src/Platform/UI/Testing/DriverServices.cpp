#include "Platform/UI/Testing/DriverServices.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/AudioSession.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/ImagePickerAlbumController.h"
#include "Platform/UI/ImagePickerAlbumListController.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ImagePickerMoviePreviewController.h"
#include "Platform/UI/ImagePickerThumbnailView.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/PhotoAlbum.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Testing/DriverBars.h"
#include "Platform/UI/Testing/DriverSteps.h"
#include "Platform/UI/Testing/DriverTables.h"
#include "Platform/UI/Testing/DriverTouches.h"
#include "Platform/UI/Testing/PhotoAlbumRecorder.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

namespace ui::testing {

DriverServices::DriverServices(DriverTouches& touches, DriverBars& bars, DriverTables& tables)
    : m_touches(touches)
    , m_bars(bars)
    , m_tables(tables)
{
}

const std::vector<core::URL>& DriverServices::openedURLs() const
{
    return drivenApplication().openedURLs();
}

size_t DriverServices::completeAlbumSaves(std::optional<core::Error> error)
{
    auto recorder = std::dynamic_pointer_cast<PhotoAlbumRecorder>(PhotoAlbum::backend());
    if (!recorder)
        throw core::Exception(DriverFailure, "the photo album is not the test recorder");
    return recorder->complete(std::move(error));
}

size_t DriverServices::albumSaveCount() const
{
    auto recorder = std::dynamic_pointer_cast<PhotoAlbumRecorder>(PhotoAlbum::backend());
    return recorder ? recorder->saves().size() : 0;
}

void DriverServices::audioInterruption(bool begins)
{
    AudioSession::shared().interruption(begins);
    settle();
}

void DriverServices::setPrintingAvailable(bool available)
{
    PrintInteractionController::setPrintingAvailable(available);
}

void DriverServices::setOpenInApplications(std::vector<std::string> applications)
{
    DocumentInteractionController::setApplications(std::move(applications));
}

void DriverServices::completePrint(bool completed, std::optional<core::Error> error)
{
    auto& panel = PrintInteractionController::shared();
    if (!panel.isPresented())
        throw core::Exception(DriverFailure, "no print panel is shown");
    panel.finish(completed, error ? &*error : nullptr);
    settle();
}

template<typename T> std::shared_ptr<T> DriverServices::shownController() const
{
    for (auto& window : Window::windowsFrontToBack()) {
        if (window->isHidden())
            continue;
        std::shared_ptr<T> found;
        window->visitDescendants([&](const std::shared_ptr<View>& view) {
            if (!found)
                if (auto* controller = dynamic_cast<T*>(view->controller()))
                    found = std::static_pointer_cast<T>(controller->shared_from_this());
        });
        if (found)
            return found;
    }
    return nullptr;
}

void DriverServices::setCanSendMail(bool can)
{
    MailComposeController::setCanSendMail(can);
}

std::shared_ptr<MailComposeController> DriverServices::mailComposer() const
{
    if (auto composer = shownController<MailComposeController>())
        return composer;
    throw core::Exception(DriverFailure, "no mail composer is shown");
}

void DriverServices::finishMail(int result, std::optional<core::Error> error)
{
    mailComposer()->finish(result, error ? &*error : nullptr);
    settle();
}

std::shared_ptr<ImagePickerController> DriverServices::imagePicker() const
{
    if (auto picker = shownController<ImagePickerController>())
        return picker;
    throw core::Exception(DriverFailure, "no image picker is shown");
}

void DriverServices::openPickerAlbum(std::string_view name)
{
    auto picker = imagePicker();
    auto& albums = ImagePickerController::library();
    std::string listed;
    for (size_t i = 0; i < albums.size(); ++i) {
        if (albums[i].name != name) {
            listed += " \"" + albums[i].name + "\"";
            continue;
        }
        // Back on the album list first, as a person would go.
        if (picker->viewControllers().size() > 1) {
            picker->popToRootViewController(false);
            settle();
        }
        auto list = picker->albumListController();
        if (!list)
            throw core::Exception(DriverFailure, "the picker shows no album list");
        settle();
        m_tables.scrollToRow(list->tableView(), { 0, int(i) });
        m_tables.tapRow(list->tableView(), { 0, int(i) });
        m_touches.wait(NavigationController::TransitionDuration + 0.05);
        return settle();
    }
    throw core::Exception(DriverFailure, fmt::format("no album \"{}\"; the library has:{}", name, listed.empty() ? " nothing" : listed));
}

void DriverServices::pickMedia(size_t index)
{
    auto picker = imagePicker();
    auto album = picker->openAlbumIndex();
    if (!album)
        throw core::Exception(DriverFailure, "cannot pick: no album is open");
    auto& media = ImagePickerController::library()[*album].media;
    if (!picker->offers(index)) {
        std::string listed;
        for (size_t i = 0; i < media.size(); ++i)
            listed += fmt::format(" [{}] \"{}\"", i, media[i].mediaType);
        std::string offered;
        for (auto& type : picker->mediaTypes())
            offered += " \"" + type + "\"";
        throw core::Exception(DriverFailure, fmt::format("cannot pick {} in \"{}\"; it holds:{}; the picker offers:{}", index,
            ImagePickerController::library()[*album].name, listed.empty() ? " nothing" : listed, offered));
    }
    // From a movie's preview back to the album's grid first.
    auto grid = picker->albumController();
    if (!grid)
        throw core::Exception(DriverFailure, "cannot pick: the album's screen is not in the picker");
    if (picker->topViewController() != grid.get()) {
        picker->popToViewController(grid.get(), false);
        settle();
    }
    settle();
    grid->scrollToMedia(index, false);
    settle();
    grid->view()->layoutIfNeeded();
    auto* square = grid->thumbnailView(index);
    if (!square)
        throw core::Exception(DriverFailure, fmt::format("the square of item {} is not shown", index));
    m_touches.tap(*square);
    settle();
    // A movie's preview: its Choose.
    if (auto preview = picker->moviePreviewController()) {
        m_touches.wait(NavigationController::TransitionDuration + 0.05);
        settle();
        m_bars.tapBarItem(*preview->chooseItem());
    }
    m_touches.wait(NavigationController::TransitionDuration + 0.05);
    settle();
}

void DriverServices::cancelPicker()
{
    imagePicker()->cancel();
    settle();
}

} // namespace ui::testing
