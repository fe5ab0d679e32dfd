#include "Platform/UI/ImagePickerController.h"

#include "Platform/Core/URL.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/ImagePickerAlbumController.h"
#include "Platform/UI/ImagePickerAlbumListController.h"
#include "Platform/UI/ImagePickerMoviePreviewController.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

namespace {

std::vector<ImagePickerController::Album>& libraryAlbums()
{
    static std::vector<ImagePickerController::Album> albums;
    return albums;
}

ImagePickerController::LibrarySource& librarySource()
{
    static ImagePickerController::LibrarySource source;
    return source;
}

} // namespace

bool ImagePickerController::isSourceTypeAvailable(SourceType source)
{
    return source == SourceType::PhotoLibrary || source == SourceType::SavedPhotosAlbum;
}

std::vector<std::string> ImagePickerController::availableMediaTypes(SourceType source)
{
    if (!isSourceTypeAvailable(source))
        return {};
    return { imageType, movieType };
}

const std::vector<ImagePickerController::Album>& ImagePickerController::library()
{
    return libraryAlbums();
}

void ImagePickerController::setLibrary(std::vector<Album> albums)
{
    libraryAlbums() = std::move(albums);
}

void ImagePickerController::setLibrarySource(LibrarySource source)
{
    librarySource() = std::move(source);
}

std::shared_ptr<ImagePickerController> ImagePickerController::create()
{
    auto picker = std::make_shared<ImagePickerController>();
    picker->addAlbumList();
    picker->loadLibrary();
    return picker;
}

void ImagePickerController::loadLibrary()
{
    auto source = librarySource();
    if (!source || m_loadingLibrary)
        return;
    m_loadingLibrary = true;
    std::weak_ptr<ImagePickerController> weak = std::static_pointer_cast<ImagePickerController>(shared_from_this());
    core::Thread::detach("ui.PhotoLibrary", [weak, source] {
        auto albums = source();
        core::RunLoop::main().post([weak, albums = std::move(albums)]() mutable {
            setLibrary(std::move(albums));
            if (auto picker = weak.lock()) {
                picker->m_loadingLibrary = false;
                if (picker->m_albumList)
                    picker->m_albumList->libraryDidChange();
            }
        });
    });
}

ImagePickerController::ImagePickerController() = default;

ImagePickerController::~ImagePickerController() = default;

void ImagePickerController::addAlbumList()
{
    if (!viewControllers().empty())
        return;
    m_albumList = std::make_shared<ImagePickerAlbumListController>(
        std::static_pointer_cast<ImagePickerController>(shared_from_this()));
    setViewControllers({ m_albumList }, false);
}

void ImagePickerController::loadView()
{
    addAlbumList();
    NavigationController::loadView();
}

void ImagePickerController::setDelegate(std::weak_ptr<ImagePickerControllerDelegate> delegate)
{
    m_pickerDelegate = delegate;
    NavigationController::setDelegate(std::weak_ptr<NavigationControllerDelegate>(delegate.lock()));
}

void ImagePickerController::setSourceType(SourceType source)
{
    if (!isSourceTypeAvailable(source))
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("ImagePickerController::setSourceType: source {} is not available", int(source)));
    m_source = source;
}

bool ImagePickerController::openAlbum(size_t index)
{
    requireMainThread("ImagePickerController::openAlbum");
    addAlbumList();
    if (index >= library().size())
        return false;
    // Back to the list first when another album is open.
    if (viewControllers().size() > 1)
        popToRootViewController(false);
    m_album = index;
    m_preview.reset();
    m_albumScreen = std::make_shared<ImagePickerAlbumController>(
        std::static_pointer_cast<ImagePickerController>(shared_from_this()), index);
    m_albumScreen->setTitle(library()[index].name);
    pushViewController(m_albumScreen, true);
    return true;
}

bool ImagePickerController::offers(size_t index) const
{
    if (!m_album || *m_album >= library().size() || index >= library()[*m_album].media.size())
        return false;
    const auto& type = library()[*m_album].media[index].mediaType;
    return std::find(m_mediaTypes.begin(), m_mediaTypes.end(), type) != m_mediaTypes.end();
}

std::shared_ptr<ImagePickerAlbumController> ImagePickerController::albumController() const
{
    const auto& stack = viewControllers();
    return std::find(stack.begin(), stack.end(), m_albumScreen) != stack.end() ? m_albumScreen : nullptr;
}

std::shared_ptr<ImagePickerMoviePreviewController> ImagePickerController::moviePreviewController() const
{
    const auto& stack = viewControllers();
    return std::find(stack.begin(), stack.end(), m_preview) != stack.end() ? m_preview : nullptr;
}

bool ImagePickerController::pick(size_t index)
{
    requireMainThread("ImagePickerController::pick");
    if (!offers(index))
        return false;
    const Media media = library()[*m_album].media[index];
    auto self = shared_from_this();
    if (media.mediaType == movieType) {
        if (!media.movieURL)
            return false;
        if (m_albumScreen && topViewController() != m_albumScreen.get())
            popToViewController(m_albumScreen.get(), false);
        m_preview = std::make_shared<ImagePickerMoviePreviewController>(
            std::static_pointer_cast<ImagePickerController>(self), media);
        pushViewController(m_preview, true);
        return true;
    }
    auto image = media.image;
    if (!image && !media.path.empty())
        image = gfx::Image::imageWithContentsOfFile(media.path);
    if (!image)
        return false;
    core::Value::Dictionary info { { mediaTypeKey, media.mediaType } };
    info[originalImageKey] = core::Value(image);
    if (!media.path.empty())
        info[imageURLKey] = core::URL::fileURL(media.path).absoluteString();
    if (m_allowsEditing)
        info[editedImageKey] = core::Value(image);
    if (auto d = delegate())
        d->didFinishPicking(*this, core::Value(std::move(info)));
    return true;
}

bool ImagePickerController::chooseMovie()
{
    requireMainThread("ImagePickerController::chooseMovie");
    auto preview = moviePreviewController();
    if (!preview || !preview->media().movieURL)
        return false;
    auto self = shared_from_this();
    core::Value::Dictionary info { { mediaTypeKey, std::string(movieType) } };
    info[mediaURLKey] = preview->media().movieURL->absoluteString();
    if (auto d = delegate())
        d->didFinishPicking(*this, core::Value(std::move(info)));
    return true;
}

void ImagePickerController::cancel()
{
    requireMainThread("ImagePickerController::cancel");
    auto self = shared_from_this();
    if (auto d = delegate())
        d->didCancel(*this);
}

} // namespace ui
