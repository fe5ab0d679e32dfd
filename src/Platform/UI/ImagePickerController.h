#pragma once

// The image picker: a navigation controller (subclassable) over the photo
// library's screens: the album list, an album's grid of thumbnails, and a
// movie's preview. The library is a model that the program fills from a
// scan on a worker (or a test sets); a person opens an album (a push),
// picks an image (delivered at once) or a movie (its preview is pushed; its
// Choose delivers the movie, and the receiver's pop returns to the album),
// or cancels. The delegate is also the picker's navigation delegate and
// hears every push.

#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"
#include "Platform/UI/NavigationController.h"

#include <functional>
#include <string>
#include <vector>

namespace gfx {
class Image;
}

namespace ui {

class ImagePickerAlbumController;
class ImagePickerAlbumListController;
class ImagePickerController;
class ImagePickerMoviePreviewController;

class ImagePickerControllerDelegate : public NavigationControllerDelegate {
public:
    // `info`: a dictionary under the ImagePickerController keys.
    virtual void didFinishPicking(ImagePickerController& picker, const core::Value& info)
    {
        (void)picker, (void)info;
    }
    virtual void didCancel(ImagePickerController& picker) { (void)picker; }
};

class ImagePickerController : public NavigationController {
public:
    // The device's numbers.
    enum class SourceType { PhotoLibrary = 0, Camera = 1, SavedPhotosAlbum = 2 };
    static constexpr const char* imageType = "public.image";
    static constexpr const char* movieType = "public.movie";
    // Keys of the picked media's info.
    static constexpr const char* mediaTypeKey = "ui.ImagePickerMediaType";
    static constexpr const char* originalImageKey = "ui.ImagePickerOriginalImage";
    static constexpr const char* editedImageKey = "ui.ImagePickerEditedImage";
    static constexpr const char* mediaURLKey = "ui.ImagePickerMediaURL";
    // A picked image's own file (a file URL), when it has one.
    static constexpr const char* imageURLKey = "ui.ImagePickerImageURL";

    // One piece of the library: an image, or a movie file. An image may be
    // given by its file alone, read when it is picked.
    struct Media {
        std::string mediaType;
        std::shared_ptr<gfx::Image> image;
        std::optional<core::URL> movieURL;
        std::string path;
        // A movie's size in bytes, shown by its preview (0: not known).
        uint64_t byteSize = 0;
    };
    struct Album {
        std::string name;
        std::vector<Media> media;
    };

    // No camera here; the library and the saved photos are there.
    static bool isSourceTypeAvailable(SourceType source);
    static std::vector<std::string> availableMediaTypes(SourceType source);
    // The library's albums (empty in the program).
    static const std::vector<Album>& library();
    static void setLibrary(std::vector<Album> albums);
    // Where the program's library comes from: run on a worker each time a
    // picker is made, its albums replace the library on the main thread.
    using LibrarySource = std::function<std::vector<Album>()>;
    static void setLibrarySource(LibrarySource source);
    // While a scan for this picker runs.
    bool isLoadingLibrary() const { return m_loadingLibrary; }

    static std::shared_ptr<ImagePickerController> create();
    // Starts the library's scan when a source is set (create() does).
    void loadLibrary();
    ImagePickerController();
    ~ImagePickerController() override;

    std::shared_ptr<ImagePickerControllerDelegate> delegate() const { return m_pickerDelegate.lock(); }
    // Also the navigation delegate.
    void setDelegate(std::weak_ptr<ImagePickerControllerDelegate> delegate);

    SourceType sourceType() const { return m_source; }
    // NSInvalidArgumentException for a source that is not available.
    void setSourceType(SourceType source);
    const std::vector<std::string>& mediaTypes() const { return m_mediaTypes; }
    void setMediaTypes(std::vector<std::string> types) { m_mediaTypes = std::move(types); }
    bool allowsEditing() const { return m_allowsEditing; }
    void setAllowsEditing(bool allows) { m_allowsEditing = allows; }

    // What a person does. Each answers false when it cannot be done (no
    // such album, no album open, media of a type not offered, a picture
    // that cannot be read). A movie's pick shows its preview; its Choose
    // (chooseMovie) delivers it.
    bool openAlbum(size_t index);
    bool pick(size_t index);
    bool chooseMovie();
    void cancel();
    // Whether the open album's media at `index` is of a type offered.
    bool offers(size_t index) const;
    // The album open now (nullopt on the album list).
    std::optional<size_t> openAlbumIndex() const { return m_album; }

    // The screens (the album's and the preview while they are in the stack).
    std::shared_ptr<ImagePickerAlbumListController> albumListController() const { return m_albumList; }
    std::shared_ptr<ImagePickerAlbumController> albumController() const;
    std::shared_ptr<ImagePickerMoviePreviewController> moviePreviewController() const;

    void loadView() override;

private:
    void addAlbumList();

    std::weak_ptr<ImagePickerControllerDelegate> m_pickerDelegate;
    SourceType m_source = SourceType::PhotoLibrary;
    std::vector<std::string> m_mediaTypes { imageType };
    bool m_allowsEditing = false;
    std::optional<size_t> m_album;
    bool m_loadingLibrary = false;
    std::shared_ptr<ImagePickerAlbumListController> m_albumList;
    std::shared_ptr<ImagePickerAlbumController> m_albumScreen;
    std::shared_ptr<ImagePickerMoviePreviewController> m_preview;
};

} // namespace ui
