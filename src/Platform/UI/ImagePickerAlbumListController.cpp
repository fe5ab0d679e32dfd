#include "Platform/UI/ImagePickerAlbumListController.h"

#include "Platform/Core/Localized.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ImagePickerThumbnailView.h"
#include "Platform/UI/ImagePickerThumbnails.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"

#include <fmt/format.h>

namespace ui {

namespace {

constexpr const char* AlbumRowIdentifier = "ui.ImagePickerAlbumRow";

// An album row asks for its thumbnail while it shows, as a grid square does.
class AlbumRow : public TableViewCell {
public:
    AlbumRow()
        : TableViewCell(Style::Value1, AlbumRowIdentifier)
    {
        setAccessoryType(Accessory::DisclosureIndicator);
    }
    ~AlbumRow() override { forget(); }
    void forget()
    {
        if (wanted)
            *wanted = false;
        wanted.reset();
    }
    ImagePickerThumbnails::Wanted wanted;
};

// The square before an album's name when it has no picture yet (grey) or
// starts with a movie: drawn once per size.
std::shared_ptr<gfx::Image> tile(float side, float scale, bool movie)
{
    static std::shared_ptr<gfx::Image> tiles[2];
    auto& kept = tiles[movie ? 1 : 0];
    if (kept && kept->size().width == side && kept->scale() == scale)
        return kept;
    auto context = gfx::makeImageContext({ side, side }, scale);
    if (!context)
        return nullptr;
    context->setFillColor(gfx::Color::white(movie ? 0.22f : 0.85f));
    context->fillRect({ 0, 0, side, side });
    if (movie) {
        float glyph = side * 0.5f;
        ImagePickerThumbnailView::drawMovieGlyph(*context, { (side - glyph) / 2, (side - glyph) / 2, glyph, glyph },
            gfx::Color::white(0.75f));
    }
    kept = context->makeImage();
    return kept;
}

} // namespace

ImagePickerAlbumListController::ImagePickerAlbumListController(std::weak_ptr<ImagePickerController> picker)
    : m_picker(std::move(picker))
{
    setTitle(core::localized("Photo Albums", "Toolkit"));
}

void ImagePickerAlbumListController::loadView()
{
    TableViewController::loadView();
    tableView().setRowHeight(RowHeight);
    m_spinner = ActivityIndicator::create(ActivityIndicator::Style::Gray);
    m_spinner->setAutoresizingMask(View::FlexibleLeftMargin | View::FlexibleRightMargin | View::FlexibleBottomMargin);
    tableView().addSubview(m_spinner);
    m_emptyNotice = Label::create({}, core::localized("No Photos or Videos", "Toolkit"));
    m_emptyNotice->setFont(Fonts::boldSystemFont(20));
    m_emptyNotice->setTextColor(gfx::Color::white(0.5f));
    m_emptyNotice->setTextAlignment(gfx::TextAlignment::Center);
    m_emptyNotice->setAutoresizingMask(View::FlexibleWidth | View::FlexibleBottomMargin);
    tableView().addSubview(m_emptyNotice);
    updateStatus();
}

void ImagePickerAlbumListController::viewWillAppear(bool animated)
{
    TableViewController::viewWillAppear(animated);
    // The library may have been replaced since this screen last showed.
    libraryDidChange();
}

void ImagePickerAlbumListController::libraryDidChange()
{
    if (!isViewLoaded())
        return;
    tableView().reloadData();
    updateStatus();
}

void ImagePickerAlbumListController::updateStatus()
{
    auto picker = m_picker.lock();
    bool loading = picker && picker->isLoadingLibrary();
    bool empty = !loading && ImagePickerController::library().empty();
    gfx::Rect bounds = tableView().bounds();
    // Both in the middle of the upper part, where the first rows would be.
    float top = std::max(RowHeight * 2, bounds.height() / 3);
    m_spinner->setFrame({ std::floor(bounds.width() / 2 - 10), top, 20, 20 });
    m_emptyNotice->setFrame({ 10, top - 4, bounds.width() - 20, 28 });
    if (loading)
        m_spinner->startAnimating();
    else
        m_spinner->stopAnimating();
    m_emptyNotice->setHidden(!empty);
}

bool ImagePickerAlbumListController::showsSpinnerForTesting() const
{
    return m_spinner && m_spinner->isAnimating();
}

bool ImagePickerAlbumListController::showsEmptyNoticeForTesting() const
{
    return m_emptyNotice && !m_emptyNotice->isHidden();
}

int ImagePickerAlbumListController::numberOfRows(TableView&, int)
{
    auto picker = m_picker.lock();
    if (picker && picker->isLoadingLibrary())
        return 0;
    return int(ImagePickerController::library().size());
}

std::shared_ptr<TableViewCell> ImagePickerAlbumListController::cellForRow(TableView& table, IndexPath path)
{
    auto row = std::dynamic_pointer_cast<AlbumRow>(table.dequeueReusableCell(AlbumRowIdentifier));
    if (!row)
        row = std::make_shared<AlbumRow>();
    row->forget();
    const auto& album = ImagePickerController::library()[size_t(path.row)];
    row->textLabel().setText(album.name);
    row->textLabel().setFont(Fonts::boldSystemFont(17));
    row->textLabel().setLineBreakMode(gfx::LineBreakMode::MiddleTruncation);
    if (auto* count = row->detailTextLabel())
        count->setText(fmt::format("{}", album.media.size()));
    const float side = RowHeight - 1;
    const float scale = gfx::Screen::main().scale();
    std::shared_ptr<gfx::Image> picture;
    if (!album.media.empty()) {
        const auto& first = album.media.front();
        if (first.mediaType == ImagePickerController::movieType) {
            picture = tile(side, scale, true);
        } else {
            row->wanted = std::make_shared<std::atomic<bool>>(true);
            std::weak_ptr<AlbumRow> weak = row;
            picture = ImagePickerThumbnails::shared().thumbnail(first, side, scale, row->wanted, [weak, first, side, scale] {
                if (auto shown = weak.lock())
                    shown->imageView().setImage(
                        ImagePickerThumbnails::shared().thumbnail(first, side, scale, shown->wanted, nullptr));
            });
        }
    }
    // A grey square holds the place, so names line up.
    row->imageView().setImage(picture ? picture : tile(side, scale, false));
    return row;
}

void ImagePickerAlbumListController::didSelectRow(TableView& table, IndexPath path)
{
    table.deselectRow(path, false);
    if (auto picker = m_picker.lock())
        picker->openAlbum(size_t(path.row));
}

} // namespace ui
