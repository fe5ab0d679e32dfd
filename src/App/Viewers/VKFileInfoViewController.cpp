#include "App/Viewers/VKFileInfoViewController.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKIconManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

struct Facts {
    std::shared_ptr<gfx::Image> icon;
    std::string name;
    std::string kind;
    std::string size;
    std::string date;
};

// The facts, read on a worker: the icon may come from disk, the size of a
// package from the quota tree.
Facts gatherFacts(const VKFileResource& resource)
{
    Facts facts;
    if (auto icons = VKIconManager::sharedManager())
        facts.icon = icons->iconForResource(resource);
    facts.name = resource.name();
    facts.kind = resource.isPackage() ? core::localized("Package") : resource.mimeType();
    facts.size = VKBytesFormatter::sharedFormatter().formatBytesAsString(resource.size());
    if (auto date = resource.modificationDate())
        facts.date = core::DateFormatter("d MMM yyyy, HH:mm").format(*date);
    return facts;
}

// The facts in a column in the middle: the icon, the name, then one line
// each for the kind, the size and the date.
class FileInfoView : public ui::View {
public:
    static constexpr float Gap = 12;
    static constexpr float LineGap = 4;
    static constexpr float MaximumWidth = 400;

    explicit FileInfoView(const Facts& facts)
    {
        m_icon = ui::ImageView::create(facts.icon);
        addSubview(m_icon);
        m_name = makeLabel(facts.name, ui::Fonts::boldSystemFont(18), gfx::Color::white(0.15f));
        m_name->setNumberOfLines(2);
        for (const auto& [label, value] : { std::pair { core::localized("Kind"), facts.kind },
                 std::pair { core::localized("Size"), facts.size },
                 std::pair { core::localized("Modified"), facts.date } }) {
            if (value.empty())
                continue;
            m_lines.push_back(makeLabel(fmt::format("{}: {}", label, value), ui::Fonts::systemFont(15),
                gfx::Color::white(0.35f)));
        }
    }

    void layoutSubviews() override
    {
        gfx::Rect b = bounds();
        float width = std::min(b.width() - 2 * 20, MaximumWidth);
        gfx::Size iconSize = m_icon->image() ? m_icon->image()->size() : gfx::Size { 0, 0 };
        gfx::Size nameSize = m_name->sizeThatFits({ width, 0 });
        float height = iconSize.height + Gap + nameSize.height;
        std::vector<float> heights;
        for (const auto& line : m_lines) {
            heights.push_back(line->sizeThatFits({ width, 0 }).height);
            height += LineGap + heights.back();
        }
        float x = std::round((b.width() - width) / 2);
        float y = std::round((b.height() - height) / 2);
        m_icon->setFrame({ std::round((b.width() - iconSize.width) / 2), y, iconSize.width, iconSize.height });
        y += iconSize.height + Gap;
        m_name->setFrame({ x, y, width, nameSize.height });
        y += nameSize.height;
        for (size_t i = 0; i < m_lines.size(); ++i) {
            y += LineGap;
            m_lines[i]->setFrame({ x, y, width, heights[i] });
            y += heights[i];
        }
    }

private:
    std::shared_ptr<ui::Label> makeLabel(const std::string& text, const gfx::Font& font, const gfx::Color& color)
    {
        auto label = ui::Label::create({}, text);
        label->setFont(font);
        label->setTextColor(color);
        label->setTextAlignment(gfx::TextAlignment::Center);
        label->setLineBreakMode(gfx::LineBreakMode::MiddleTruncation);
        label->setBackgroundColor(gfx::Color::white(0, 0));
        addSubview(label);
        return label;
    }

    std::shared_ptr<ui::ImageView> m_icon;
    std::shared_ptr<ui::Label> m_name;
    std::vector<std::shared_ptr<ui::Label>> m_lines;
};

} // namespace

std::shared_ptr<VKFileInfoViewController> VKFileInfoViewController::create(
    const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto viewer = std::make_shared<VKFileInfoViewController>();
    viewer->initWithResource(resource, folderController);
    return viewer;
}

std::vector<std::shared_ptr<ui::BarButtonItem>> VKFileInfoViewController::createToolbarItems()
{
    std::weak_ptr<VKFileInfoViewController> weak = sharedAs<VKFileInfoViewController>();
    auto self = shared_from_this();
    return {
        flexibleSpaceBarButtonItem(),
        barButtonSystemItem(ui::BarButtonItem::SystemItem::Action, self, ShowDocumentActionSheetAction,
            [weak](ui::BarButtonItem& item) {
                if (auto viewer = weak.lock())
                    viewer->showDocumentActionSheet(item.shared_from_this());
            }),
        flexibleSpaceBarButtonItem(),
        barButtonSystemItem(ui::BarButtonItem::SystemItem::Trash, self, DeleteItemAction,
            [weak](ui::BarButtonItem& item) {
                if (auto viewer = weak.lock())
                    viewer->deleteItem(item.shared_from_this());
            }),
        flexibleSpaceBarButtonItem(),
    };
}

void VKFileInfoViewController::startCloudFileFetch()
{
    setContentLoading(true);
    loadContentView();
}

void VKFileInfoViewController::loadContentView()
{
    auto resource = this->resource();
    if (!resource)
        return;
    startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::Gray, 0);
    std::weak_ptr<VKFileInfoViewController> weak = sharedAs<VKFileInfoViewController>();
    auto show = [weak](const std::shared_ptr<Facts>& facts) {
        auto self = weak.lock();
        if (!self || !self->isViewLoaded() || !self->contentIsLoading())
            return;
        self->stopActivityIndicator();
        self->setContentView(std::make_shared<FileInfoView>(*facts));
        self->setContentDidLoad(true);
        self->setContentLoading(false);
    };
    // A cloud file's facts come from its mirror node, which belongs to the
    // main thread (and costs no disk); a local file's are read on a worker.
    if (resource->isCloudResource()) {
        auto facts = std::make_shared<Facts>(gatherFacts(*resource));
        core::performOnMainThread([show, facts] { show(facts); });
        return;
    }
    core::Thread::detach("VKFileInfoViewController.loadContentView", [show, resource] {
        auto facts = std::make_shared<Facts>(gatherFacts(*resource));
        core::performOnMainThread([show, facts] { show(facts); });
    });
}
