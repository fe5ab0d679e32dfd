#include "App/FolderBrowser/VKFileResourceCell.h"

#include "App/FolderBrowser/VKFolderCountWatch.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKIndexView.h"

#include "App/FolderBrowser/VKMultiEditTableView.h"
#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Interface/TableViewCellAdditions.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKIconManager.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/DateAdditions.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Touch.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float IconX = 5;
constexpr float IconY = 2;
// Room kept right of the text (the accessory's side).
constexpr float RightMargin = 30;
constexpr float EditingInset = 8;
constexpr float CheckBoxX = 4;
constexpr float ExtensionLabelMaxWidth = 38;

gfx::Color greyText() { return ui::StandardColors::darkGray(); }

// Names come from the disk and the network: shown as plain text, one line,
// with every control character and stray byte as U+FFFD.
std::string displayable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t offset = 0; offset < text.size();) {
        core::CodePoint point = core::decodeCodePoint(text, offset);
        char32_t c = point.value;
        bool control = c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029;
        core::appendCodePoint(out, !point.valid || control ? 0xFFFD : c);
        offset += std::max<size_t>(point.length, 1);
    }
    return out;
}

const gfx::Font& extensionFont()
{
    static const gfx::Font font = [] {
        gfx::Font named = gfx::Font::fontWithName("Helvetica", 14);
        if (named.familyName() == "Helvetica")
            return named;
        core::log("Warning nil extFont");
        return ui::Fonts::systemFont(14);
    }();
    return font;
}

// In full; the layout abbreviates a date that would run into the size.
std::string shownDate(core::Date date)
{
    return descriptionWithNaturalLanguageUsingAbbreviation(date, VKDateAbbreviation::None);
}

std::shared_ptr<gfx::Image> checkBoxImage(bool marked)
{
    return ui::Images::imageNamed(marked ? "VKTableCellControlMarked.png" : "VKTableCellControlNotMarked.png");
}

} // namespace

std::shared_ptr<VKFileResourceCell> VKFileResourceCell::create(std::string reuseIdentifier)
{
    return ui::View::make<VKFileResourceCell>(gfx::Rect { 0, 0, 320, RowHeight }, std::move(reuseIdentifier));
}

VKFileResourceCell::VKFileResourceCell(std::string reuseIdentifier)
    : ui::TableViewCell(Style::Default, std::move(reuseIdentifier))
{
    auto black = ui::StandardColors::black();
    auto white = ui::StandardColors::white();
    m_titleLabel = createLabelWithFont(*this, ui::Fonts::boldSystemFont(18), black, white,
        gfx::LineBreakMode::TailTruncation, true);
    m_titleLabel->setMinimumFontSize(TitleMinimumFontSize);
    m_sizeLabel = createLabelWithFont(*this, ui::Fonts::systemFont(12), greyText(), white, gfx::LineBreakMode::TailTruncation);
    m_modDateLabel = createLabelWithFont(*this, ui::Fonts::systemFont(12), greyText(), white, gfx::LineBreakMode::TailTruncation);
    m_iconView = ui::ImageView::create();
    m_iconView->setContentMode(ui::View::ContentMode::ScaleAspectFit);
    contentView().addSubview(m_iconView);
    gfx::Color extColor = gfx::Color::white(0.16f);
    m_extLabel = createLabelWithFont(*this, extensionFont(), extColor, extColor, gfx::LineBreakMode::Clip, true);
    m_extLabel->setTextAlignment(gfx::TextAlignment::Right);
    m_extLabel->setHidden(true);
    setAccessoryType(Accessory::DisclosureIndicator);
    setIndentationWidth(CellIndentationWidth);
}

VKFileResourceCell::~VKFileResourceCell()
{
    stopLongTouchTimer();
}

void VKFileResourceCell::setResource(std::shared_ptr<VKFileResource> resource)
{
    m_resource = std::move(resource);
    if (!m_resource)
        return;
    if (!m_thumbnailObservation.isActive()) {
        // Made on the first resource: the cell is shared by then.
        std::weak_ptr<core::Object> weak = weak_from_this();
        m_thumbnailObservation = core::NotificationCenter::defaultCenter().observe(
            VKThumbnailManagerDidGenerateThumbnailNotification, nullptr, [weak](const VKThumbnailNews& news) {
                auto self = std::static_pointer_cast<VKFileResourceCell>(weak.lock());
                auto resource = news.resource;
                if (!self || !resource)
                    return;
                // Thumbnails are made on workers; the row follows on the main thread.
                core::RunLoop::main().post(self, [resource](VKFileResourceCell& cell) {
                    cell.thumbnailDidUpdate(resource);
                });
            });
    }
    contentView().setAlpha(m_resource->isMarkedDeleted() ? 0.5f : 1.0f);
    m_titleLabel->setAdjustsFontSizeToFitWidth(true);
    m_titleLabel->setMinimumFontSize(TitleMinimumFontSize);
    std::string name = m_resource->localizedName();
    if (!m_resource->isCollection() && !core::UserDefaults::standard()->boolForKey("VKDisplayFileExtensions"))
        name = core::path::deletingPathExtension(name);
    m_titleLabel->setText(displayable(name));
    updateIconImage();
    if (countsOnWorker()) {
        // The folder's listing and date are read on a worker: a row set
        // again for its folder keeps what it shows, a row reused for
        // another shows nothing until that folder's count arrives.
        const std::string& path = m_resource->path();
        bool showHidden = core::UserDefaults::standard()->boolForKey("VKShowHiddenFiles");
        if (path != m_countedPath) {
            m_count.reset();
            m_counted = false;
            m_sizeLabel->setText("");
            m_modDateLabel->setText("");
        }
        if (path != m_countedPath || showHidden != m_countedHidden || (m_countWatch && !m_countWatch->isFollowing())) {
            m_countWatch.reset();
            m_countedPath = path;
            m_countedHidden = showHidden;
        }
        // The downloads bound for it may have changed.
        if (m_counted)
            m_sizeLabel->setText(folderCountText(m_count));
    } else {
        m_countWatch.reset();
        m_countedPath.clear();
        m_count.reset();
        m_counted = false;
        auto date = m_resource->modificationDate();
        m_modDateLabel->setText(date ? shownDate(*date) : "");
        m_sizeLabel->setText(sizeText());
    }
    followItemCount();
    setNeedsLayout();
}

void VKFileResourceCell::didMoveToWindow()
{
    ui::TableViewCell::didMoveToWindow();
    followItemCount();
}

bool VKFileResourceCell::countsOnWorker() const
{
    return m_resource && !m_resource->isCloudResource() && !m_resource->isDownloadResource()
        && m_resource->isCollection();
}

void VKFileResourceCell::followItemCount()
{
    // Off screen the row follows nothing; back on screen it counts again.
    if (!countsOnWorker() || !window()) {
        m_countWatch.reset();
        return;
    }
    if (!m_countWatch) {
        // The watch is the cell's own: a row reused for another folder lets
        // it go, and the answer of its count with it.
        std::weak_ptr<core::Object> weak = weak_from_this();
        m_countWatch = VKFolderCountWatch::create(m_countedPath,
            [weak](std::optional<uint32_t> count, std::optional<core::Date> modified) {
                auto self = std::static_pointer_cast<VKFileResourceCell>(weak.lock());
                if (!self)
                    return;
                self->m_count = count;
                self->m_counted = true;
                self->m_sizeLabel->setText(self->folderCountText(count));
                if (modified)
                    self->m_modDateLabel->setText(shownDate(*modified));
                self->setNeedsLayout();
            });
    }
}

std::string VKFileResourceCell::sizeText() const
{
    if (m_resource->isCollection()) {
        // A cloud folder's names come from the mirror, not the disk.
        bool showHidden = core::UserDefaults::standard()->boolForKey("VKShowHiddenFiles");
        auto names = m_resource->childNames();
        return folderCountText(names ? VKFolderCountWatch::shownCount(*names, showHidden) : 0);
    }
    if (!m_resource->exists())
        return core::localized("File not found");
    return VKBytesFormatter::sharedFormatter().formatBytesAsString(m_resource->size());
}

// With the downloads bound for the folder; a folder that could not be
// listed says so rather than "0 items".
std::string VKFileResourceCell::folderCountText(std::optional<uint32_t> listed) const
{
    if (!listed)
        return core::localized("Cannot be read");
    uint32_t count = *listed;
    if (auto downloads = VKDownloadHooks::current())
        count += uint32_t(downloads->downloadsForTargetFolder(m_resource->path()).size());
    return fmt::format(fmt::runtime(core::localized(count == 1 ? "{} item" : "{} items")), count);
}

void VKFileResourceCell::setParentName(const std::string& name)
{
    if (name.empty()) {
        if (m_parentLabel) {
            m_parentLabel->removeFromSuperview();
            m_parentLabel.reset();
            setNeedsLayout();
        }
        return;
    }
    if (!m_parentLabel) {
        m_parentLabel = createLabelWithFont(*this, ui::Fonts::systemFont(12), greyText(), ui::StandardColors::white(),
            gfx::LineBreakMode::MiddleTruncation);
        setNeedsLayout();
    }
    m_parentLabel->setText(displayable(name));
}

void VKFileResourceCell::updateIconImage()
{
    if (!m_resource)
        return;
    auto image = VKThumbnailManager::sharedManager()->thumbnailForResource(*m_resource);
    std::string extension;
    if (!image) {
        auto icons = VKIconManager::sharedManager();
        image = icons->iconForResource(*m_resource);
        if (icons->isGenericIcon(image)) {
            extension = core::path::pathExtension(m_resource->name());
            std::transform(extension.begin(), extension.end(), extension.begin(),
                [](unsigned char c) { return char(std::tolower(c)); });
            extension = displayable(extension);
        }
    }
    m_iconView->setImage(std::move(image));
    m_extLabel->setText(extension);
    m_extLabel->setHidden(extension.empty());
    setNeedsLayout();
}

void VKFileResourceCell::thumbnailDidUpdate(const std::shared_ptr<VKFileResource>& resource)
{
    if (m_resource && resource && (resource == m_resource || resource->isEqual(*m_resource)))
        updateIconImage();
}

void VKFileResourceCell::setMarked(bool marked)
{
    if (m_marked == marked)
        return;
    m_marked = marked;
    if (m_markControl)
        m_markControl->setBackgroundImage({ checkBoxImage(marked) }, ui::Control::Normal);
    // Unmarked, the content is see-through again, as it started: the row's
    // separator and its selection colour show (an opaque white one would
    // hide both, and leave a chosen row's white text on white).
    contentView().setBackgroundColor(marked ? tableViewCellMarkedBackgroundColor() : ui::StandardColors::clear());
    contentView().setNeedsDisplay();
}

void VKFileResourceCell::toggleMark()
{
    setMarked(!m_marked);
    auto* table = tableView(*this);
    if (!table)
        return;
    auto path = table->indexPathForCell(*this);
    auto delegate = std::dynamic_pointer_cast<VKMultiEditTableViewDelegate>(table->tableDelegate());
    if (!path || !delegate)
        return;
    if (m_marked)
        delegate->didMarkCell(*table, *path);
    else
        delegate->didUnmarkCell(*table, *path);
}

bool VKFileResourceCell::isMultiEditing() const
{
    auto* table = tableView(*this);
    return table && editingMode(*table) == VKMultiEditTableView::MultiEditMode;
}

void VKFileResourceCell::setEditing(bool editing, bool animated)
{
    setMarked(false);
    if (!editing) {
        m_titleLabel->setAdjustsFontSizeToFitWidth(true);
        m_titleLabel->setMinimumFontSize(TitleMinimumFontSize);
        setSelectionStyle(SelectionStyle::Blue);
        if (m_markControl) {
            m_markControl->removeFromSuperview();
            m_markControl.reset();
        }
    } else {
        // A name that fits keeps its size while the row narrows; a long one
        // shrinks no further than it did before.
        float textWidth = ui::Fonts::sizeOfString(m_titleLabel->text(), m_titleLabel->font()).width;
        float frameWidth = m_titleLabel->frame().width();
        if (textWidth > frameWidth && frameWidth > 0)
            m_titleLabel->setMinimumFontSize(
                std::max(TitleMinimumFontSize, frameWidth * m_titleLabel->font().pointSize() / textWidth));
        else
            m_titleLabel->setAdjustsFontSizeToFitWidth(false);
        if (!m_markControl && isMultiEditing()) {
            setSelectionStyle(SelectionStyle::None);
            auto image = checkBoxImage(false);
            gfx::Size size = image ? image->size() : gfx::Size { 28, 28 };
            m_markControl = ui::Button::create(ui::Button::Type::Custom,
                { -indentationWidth(), std::floor((bounds().height() - size.height) / 2), size.width, size.height });
            m_markControl->setAdjustsImageWhenHighlighted(false);
            m_markControl->setBackgroundImage({ image }, ui::Control::Normal);
            m_markControl->addTarget(shared_from_this(), "toggleMark", [this](ui::Control&, const ui::Event*) {
                toggleMark();
            }, ui::Control::TouchDown);
            contentView().addSubview(m_markControl);
        }
    }
    ui::TableViewCell::setEditing(editing, animated);
    setNeedsLayout();
}

void VKFileResourceCell::prepareForReuse()
{
    ui::TableViewCell::prepareForReuse();
    stopLongTouchTimer();
    setMarked(false);
    if (m_parentLabel)
        m_parentLabel->setText("");
}

void VKFileResourceCell::layoutSubviews()
{
    ui::TableViewCell::layoutSubviews();
    bool multiEditing = isEditing() && isMultiEditing();
    if (multiEditing) {
        // The check box takes the place of the platform's editing control:
        // the row's content starts at the row's left edge.
        gfx::Rect content = contentView().frame();
        contentView().setFrame({ 0, 0, content.maxX(), content.height() });
    }
    float width = bounds().width() - IconX - RightMargin;
    float iconX = IconX;
    bool indented = indentationLevel() != 0;
    if (showingDeleteConfirmation()) {
        width -= ui::Fonts::sizeOfString(core::localized("Delete"), ui::Fonts::systemFont(15)).width;
        if (contentView().frame().x() > 0)
            width -= 31;
    } else if (isEditing() || indented) {
        if (multiEditing || indented)
            iconX = indentationWidth() + IconX;
        width -= EditingInset;
    }
    // The row's Delete button narrows the content view further than the
    // text's width allows for: the texts stop short of it.
    if (showingDeleteConfirmation())
        width = std::min(width, contentView().bounds().width() - iconX - IconX);
    if (m_markControl) {
        gfx::Rect box = m_markControl->frame();
        m_markControl->setFrame({ CheckBoxX, box.y(), box.width(), box.height() });
    }
    m_iconView->setFrame({ iconX, IconY, IconSize, IconSize });
    gfx::Rect row { iconX, IconY, width, IconSize };
    if (!m_extLabel->isHidden()) {
        gfx::Size size = ui::Fonts::sizeOfString(m_extLabel->text(), m_extLabel->font());
        float w = std::min(std::ceil(size.width), ExtensionLabelMaxWidth);
        float h = std::ceil(size.height);
        gfx::Rect icon = m_iconView->frame();
        m_extLabel->setFrame({ icon.maxX() - w - 13, icon.maxY() - h - 5, w, h });
    }
    bool hasParent = m_parentLabel && !m_parentLabel->text().empty();
    float titleX = iconX + IconSize + 8;
    float titleWidth = std::max(0.0f, row.maxX() - titleX);
    m_titleLabel->setFrame({ titleX, hasParent ? 5.0f : 10.0f, titleWidth, ui::Fonts::lineHeight(m_titleLabel->font()) });

    gfx::Size sizeText = ui::Fonts::sizeOfString(m_sizeLabel->text(), m_sizeLabel->font());
    float sizeY = row.maxY() - 8 - ui::Fonts::lineHeight(m_sizeLabel->font()) + (hasParent ? 3 : 0);
    float sizeWidth = std::max(0.0f, std::min(std::ceil(sizeText.width), row.maxX() - 75));
    m_sizeLabel->setFrame({ titleX, sizeY, sizeWidth, std::ceil(sizeText.height) });

    gfx::Size dateText = ui::Fonts::sizeOfString(m_modDateLabel->text(), m_modDateLabel->font());
    float dateWidth = std::ceil(dateText.width);
    float dateHeight = std::ceil(dateText.height);
    float freeLeft = titleX + sizeWidth + 8;
    if (row.maxX() - dateWidth < freeLeft) {
        auto date = m_resource ? m_resource->modificationDate() : std::nullopt;
        if (!isEditing() && !indented && date) {
            m_modDateLabel->setText(descriptionWithNaturalLanguageUsingAbbreviation(*date, VKDateAbbreviation::MonthsAndWeekdays));
            dateText = ui::Fonts::sizeOfString(m_modDateLabel->text(), m_modDateLabel->font());
            dateWidth = std::ceil(dateText.width);
            dateHeight = std::ceil(dateText.height);
        }
        // Still too long (or editing): cut to the free width.
        if (row.maxX() - dateWidth < freeLeft)
            dateWidth = std::max(0.0f, row.maxX() - freeLeft);
    }
    m_modDateLabel->setFrame({ row.maxX() - dateWidth, sizeY, dateWidth, dateHeight });

    if (hasParent) {
        float height = std::ceil(ui::Fonts::sizeOfString(m_parentLabel->text(), m_parentLabel->font()).height);
        m_parentLabel->setFrame({ titleX, m_titleLabel->frame().maxY(), titleWidth, height });
    }
}

// A chosen row's colour stops short of a letter strip shown over the list:
// under the strip the row keeps the list's white (its separator too), so
// the colour is not drawn across the strip and its letters stay readable.
void VKFileResourceCell::draw(gfx::Context& context, const gfx::Rect& rect)
{
    ui::TableViewCell::draw(context, rect);
    bool chosen = (isSelected() || isHighlighted()) && selectionStyle() != SelectionStyle::None;
    auto* table = dynamic_cast<VKFolderTableView*>(superview());
    auto* strip = table ? table->indexStrip() : nullptr;
    if (!chosen || !strip || strip->isHidden())
        return;
    gfx::Rect b = bounds();
    float left = convertRectFrom(strip->frame(), table).minX() - VKFolderControllerIndexViewMargin;
    if (left >= b.maxX())
        return;
    context.setFillColor(ui::StandardColors::white());
    context.fillRect({ left, b.minY(), b.maxX() - left, b.height() - 1 });
}

// MARK: Touches

void VKFileResourceCell::touchesBegan(const ui::TouchSet& touches, const ui::Event& event)
{
    if (isEditing() && isMultiEditing()) {
        toggleMark();
        return;
    }
    if (!m_longTouchTimer && touches.size() == 1) {
        m_touchDownLocation = touches.front()->locationInView(this);
        m_longTouchTimer = core::RunLoop::main().schedule(sharedAs<VKFileResourceCell>(), LongTouchDelay, false, [](VKFileResourceCell& cell, core::Timer&) {
            cell.longTouchTimerDidFire();
        });
    }
    ui::TableViewCell::touchesBegan(touches, event);
}

void VKFileResourceCell::touchesMoved(const ui::TouchSet& touches, const ui::Event& event)
{
    if (m_longTouchTimer && touches.size() == 1) {
        gfx::Point at = touches.front()->locationInView(this);
        if (std::abs(at.x - m_touchDownLocation.x) > LongTouchDrift || std::abs(at.y - m_touchDownLocation.y) > LongTouchDrift)
            stopLongTouchTimer();
    }
    ui::TableViewCell::touchesMoved(touches, event);
}

void VKFileResourceCell::touchesEnded(const ui::TouchSet& touches, const ui::Event& event)
{
    stopLongTouchTimer();
    ui::TableViewCell::touchesEnded(touches, event);
}

void VKFileResourceCell::touchesCancelled(const ui::TouchSet& touches, const ui::Event& event)
{
    stopLongTouchTimer();
    ui::TableViewCell::touchesCancelled(touches, event);
}

void VKFileResourceCell::stopLongTouchTimer()
{
    if (m_longTouchTimer) {
        m_longTouchTimer->invalidate();
        m_longTouchTimer.reset();
    }
}

void VKFileResourceCell::longTouchTimerDidFire()
{
    m_longTouchTimer.reset();
    auto* table = tableView(*this);
    if (!table)
        return;
    if (auto delegate = std::dynamic_pointer_cast<VKMultiEditTableViewDelegate>(table->tableDelegate()))
        delegate->longTouchGestureForCell(*table, *this);
}

std::string VKFileResourceCell::debugText() const
{
    return m_titleLabel->text();
}
