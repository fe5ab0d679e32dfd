#include "Platform/UI/ImagePickerAlbumController.h"

#include "Platform/Graphics/Context.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ImagePickerThumbnailView.h"
#include "Platform/UI/ImagePickerThumbnails.h"

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

constexpr const char* RowIdentifier = "ui.ImagePickerThumbnailRow";

// One row of squares; the controller fills and places them.
class ThumbnailRow : public TableViewCell {
public:
    ThumbnailRow()
        : TableViewCell(Style::Default, RowIdentifier)
    {
        setSelectionStyle(SelectionStyle::None);
    }
    // Plain white: the squares' gaps are the only lines between rows.
    void draw(gfx::Context& context, const gfx::Rect&) override
    {
        context.setFillColor(gfx::Color::white(1));
        context.fillRect(bounds());
    }
    std::vector<std::shared_ptr<ImagePickerThumbnailView>> squares;
};

} // namespace

ImagePickerAlbumController::ImagePickerAlbumController(std::weak_ptr<ImagePickerController> picker, size_t album)
    : m_picker(std::move(picker))
    , m_album(album)
{
}

size_t ImagePickerAlbumController::columnsForWidth(float width)
{
    if (!(width > 0))
        return 1;
    return std::max<size_t>(1, size_t(std::floor((width - Gap) / (ImagePickerThumbnailView::Side + Gap))));
}

size_t ImagePickerAlbumController::columns() const
{
    return columnsForWidth(const_cast<ImagePickerAlbumController*>(this)->tableView().bounds().width());
}

size_t ImagePickerAlbumController::mediaCount() const
{
    const auto& library = ImagePickerController::library();
    return m_album < library.size() ? library[m_album].media.size() : 0;
}

void ImagePickerAlbumController::loadView()
{
    TableViewController::loadView();
    tableView().setRowHeight(ImagePickerThumbnailView::Side + Gap);
    tableView().setAllowsSelection(false);
    tableView().setBackgroundColor(gfx::Color::white(1));
    // The last row's squares keep a gap below them too.
    tableView().setTableFooterView(View::create({ 0, 0, 1, Gap }));
}

void ImagePickerAlbumController::viewWillAppear(bool animated)
{
    TableViewController::viewWillAppear(animated);
    relayoutIfColumnsChanged();
}

void ImagePickerAlbumController::didRotate(Orientation fromOrientation)
{
    TableViewController::didRotate(fromOrientation);
    relayoutIfColumnsChanged();
}

void ImagePickerAlbumController::relayoutIfColumnsChanged()
{
    if (columns() == m_shownColumns)
        return;
    tableView().reloadData();
}

void ImagePickerAlbumController::didReceiveMemoryWarning()
{
    TableViewController::didReceiveMemoryWarning();
    ImagePickerThumbnails::shared().clear();
}

int ImagePickerAlbumController::numberOfRows(TableView&, int)
{
    m_shownColumns = columns();
    return int((mediaCount() + m_shownColumns - 1) / m_shownColumns);
}

std::shared_ptr<TableViewCell> ImagePickerAlbumController::cellForRow(TableView& table, IndexPath path)
{
    auto row = std::dynamic_pointer_cast<ThumbnailRow>(table.dequeueReusableCell(RowIdentifier));
    if (!row)
        row = std::make_shared<ThumbnailRow>();
    const size_t columns = m_shownColumns ? m_shownColumns : this->columns();
    const auto& media = ImagePickerController::library()[m_album].media;
    const size_t first = size_t(path.row) * columns;
    const float side = ImagePickerThumbnailView::Side;
    const float used = float(columns) * side + float(columns - 1) * Gap;
    const float left = std::floor((table.bounds().width() - used) / 2);
    for (size_t column = 0; column < columns; ++column) {
        if (row->squares.size() <= column) {
            auto square = std::make_shared<ImagePickerThumbnailView>();
            square->addTarget(shared_from_this(), "pick:", [this](Control& sender, const Event*) {
                tapped(static_cast<ImagePickerThumbnailView&>(sender).index());
            }, Control::TouchUpInside);
            row->contentView().addSubview(square);
            row->squares.push_back(square);
        }
        auto& square = row->squares[column];
        size_t index = first + column;
        square->setHidden(index >= media.size());
        square->setFrame({ left + float(column) * (side + Gap), Gap, side, side });
        if (index < media.size())
            square->setMedia(media[index], index);
    }
    for (size_t column = columns; column < row->squares.size(); ++column)
        row->squares[column]->setHidden(true);
    return row;
}

ImagePickerThumbnailView* ImagePickerAlbumController::thumbnailView(size_t index)
{
    if (index >= mediaCount() || !m_shownColumns)
        return nullptr;
    auto* row = dynamic_cast<ThumbnailRow*>(tableView().cellForRow(IndexPath { 0, int(index / m_shownColumns) }));
    if (!row || index % m_shownColumns >= row->squares.size())
        return nullptr;
    return row->squares[index % m_shownColumns].get();
}

void ImagePickerAlbumController::scrollToMedia(size_t index, bool animated)
{
    if (index >= mediaCount() || !m_shownColumns)
        return;
    tableView().scrollToRow(IndexPath { 0, int(index / m_shownColumns) }, TableView::ScrollPosition::None, animated);
}

void ImagePickerAlbumController::tapped(size_t index)
{
    if (auto picker = m_picker.lock())
        picker->pick(index);
}

} // namespace ui
