#pragma once

// One square of the picker's album grid: the picture's thumbnail (grey
// until the worker has made it), or for a movie a dark square with the
// movie glyph and a badge along its foot. A tap is TouchUpInside.

#include "Platform/UI/Control.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ImagePickerThumbnails.h"

namespace ui {

class ImagePickerThumbnailView : public Control {
public:
    static constexpr float Side = 75;

    ImagePickerThumbnailView();
    ~ImagePickerThumbnailView() override;

    // Shows the media at `index` of its album; asks for its thumbnail.
    void setMedia(const ImagePickerController::Media& media, size_t index);
    size_t index() const { return m_index; }
    bool isMovie() const { return m_movie; }
    bool hasThumbnail() const { return m_thumbnail != nullptr; }

    void setHighlighted(bool highlighted) override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;
    std::string debugText() const override;

    // A movie camera drawn in `rect` (kept to its shape, centred).
    static void drawMovieGlyph(gfx::Context& context, const gfx::Rect& rect, const gfx::Color& color);

private:
    size_t m_index = 0;
    bool m_movie = false;
    std::shared_ptr<gfx::Image> m_thumbnail;
    ImagePickerThumbnails::Wanted m_wanted;
};

} // namespace ui
