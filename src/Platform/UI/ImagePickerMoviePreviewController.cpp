#include "Platform/UI/ImagePickerMoviePreviewController.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImagePickerThumbnailView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"

#include <fmt/format.h>

namespace ui {

namespace {

constexpr float GlyphSide = 96;
constexpr float Margin = 20;

// The glyph in the middle, the name and size below it, the whole group
// centred on the screen as it turns.
class PreviewView : public View {
public:
    std::shared_ptr<Label> name;
    std::shared_ptr<Label> size;

    void layoutSubviews() override
    {
        gfx::Rect b = bounds();
        float nameHeight = 24, sizeHeight = 20;
        float group = GlyphSide + 12 + nameHeight + 2 + sizeHeight;
        float top = std::floor(b.midY() - group / 2);
        m_glyph = { std::floor(b.midX() - GlyphSide / 2), top, GlyphSide, GlyphSide };
        name->setFrame({ Margin, m_glyph.maxY() + 12, b.width() - 2 * Margin, nameHeight });
        size->setFrame({ Margin, name->frame().maxY() + 2, b.width() - 2 * Margin, sizeHeight });
        setNeedsDisplay();
    }
    void draw(gfx::Context& context, const gfx::Rect&) override
    {
        ImagePickerThumbnailView::drawMovieGlyph(context, m_glyph, gfx::Color::white(0.75f));
    }

private:
    gfx::Rect m_glyph;
};

} // namespace

ImagePickerMoviePreviewController::ImagePickerMoviePreviewController(std::weak_ptr<ImagePickerController> picker,
    ImagePickerController::Media media)
    : m_picker(std::move(picker))
    , m_media(std::move(media))
{
    setTitle(core::localized("Choose Video", "Toolkit"));
    m_choose = BarButtonItem::create(core::localized("Choose", "Toolkit"), BarButtonItem::Style::Done);
    std::weak_ptr<ImagePickerController> weak = m_picker;
    m_choose->addTarget(m_choose, "choose:", [weak](BarButtonItem&) {
        if (auto picker = weak.lock())
            picker->chooseMovie();
    });
    navigationItem().setRightBarButtonItem(m_choose);
}

std::string ImagePickerMoviePreviewController::sizeText(uint64_t bytes)
{
    constexpr double KB = 1024, MB = KB * 1024, GB = MB * 1024;
    if (bytes >= GB)
        return fmt::format("{:.1f} GB", double(bytes) / GB);
    if (bytes >= MB)
        return fmt::format("{:.1f} MB", double(bytes) / MB);
    return fmt::format("{} KB", std::max<uint64_t>(1, (bytes + 1023) / 1024));
}

void ImagePickerMoviePreviewController::loadView()
{
    auto view = std::make_shared<PreviewView>();
    view->setBackgroundColor(gfx::Color::white(0.1f));
    m_name = Label::create({}, core::path::lastPathComponent(m_media.path.empty() && m_media.movieURL
            ? m_media.movieURL->path() : m_media.path));
    m_name->setFont(Fonts::boldSystemFont(17));
    m_name->setTextColor(gfx::Color::white(1));
    m_name->setBackgroundColor(gfx::Color());
    m_name->setTextAlignment(gfx::TextAlignment::Center);
    m_name->setLineBreakMode(gfx::LineBreakMode::MiddleTruncation);
    m_size = Label::create({}, m_media.byteSize ? sizeText(m_media.byteSize) : std::string());
    m_size->setFont(Fonts::systemFont(15));
    m_size->setTextColor(gfx::Color::white(0.7f));
    m_size->setBackgroundColor(gfx::Color());
    m_size->setTextAlignment(gfx::TextAlignment::Center);
    view->name = m_name;
    view->size = m_size;
    view->addSubview(m_name);
    view->addSubview(m_size);
    setView(view);
}

} // namespace ui
