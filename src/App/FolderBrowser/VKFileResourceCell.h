#pragma once

#include "Platform/Core/Observation.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/TableViewCell.h"

#include <memory>
#include <optional>
#include <string>

namespace core {
class Timer;
}
namespace ui {
class Button;
class ImageView;
class Label;
} // namespace ui

class VKFileResource;
class VKFolderCountWatch;

// The row of one file or folder in the folder lists: the icon or thumbnail
// (with the extension printed over a generic icon), the name in bold, the
// size or a folder's item count, the date, and in search results the
// item's folder. In the table's marking mode a touch anywhere on the row
// flips its check box; a touch held still for a second asks the table's
// delegate for the long-touch action. The download and upload rows derive
// from it.
class VKFileResourceCell : public ui::TableViewCell {
public:
    static constexpr float RowHeight = 68;
    static constexpr float IconSize = 64;
    static constexpr float CellIndentationWidth = 32;
    // How far a held touch may drift before it is no long touch.
    static constexpr float LongTouchDrift = 5;
    static constexpr double LongTouchDelay = 1.0;
    static constexpr float TitleMinimumFontSize = 14;

    static float rowHeight() { return RowHeight; }
    static std::shared_ptr<VKFileResourceCell> create(std::string reuseIdentifier);
    explicit VKFileResourceCell(std::string reuseIdentifier);
    ~VKFileResourceCell() override;

    const std::shared_ptr<VKFileResource>& resource() const { return m_resource; }
    virtual void setResource(std::shared_ptr<VKFileResource> resource);
    // The folder line of search results; empty removes it.
    void setParentName(const std::string& name);

    ui::Label& titleLabel() const { return *m_titleLabel; }
    ui::Label& sizeLabel() const { return *m_sizeLabel; }
    ui::Label& modificationDateLabel() const { return *m_modDateLabel; }
    ui::Label& extensionLabel() const { return *m_extLabel; }
    ui::Label* parentLabel() const { return m_parentLabel.get(); }
    ui::ImageView& iconView() const { return *m_iconView; }
    ui::Button* markControl() const { return m_markControl.get(); }

    bool isMarked() const { return m_marked; }
    void setMarked(bool marked);
    // Flips the mark and tells the table's delegate.
    void toggleMark();
    bool isLongTouchPending() const { return m_longTouchTimer != nullptr; }

    void updateIconImage();

    void setEditing(bool editing, bool animated = false) override;
    void prepareForReuse() override;
    void didMoveToWindow() override;
    void layoutSubviews() override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;
    void touchesBegan(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesMoved(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesEnded(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesCancelled(const ui::TouchSet& touches, const ui::Event& event) override;
    std::string debugText() const override;

private:
    void thumbnailDidUpdate(const std::shared_ptr<VKFileResource>& resource);
    void stopLongTouchTimer();
    void longTouchTimerDidFire();
    bool isMultiEditing() const;
    std::string sizeText() const;
    std::string folderCountText(std::optional<uint32_t> count) const;
    // A local folder's count and date are read on a worker.
    bool countsOnWorker() const;
    // A folder row on screen follows its folder's item count.
    void followItemCount();

    std::shared_ptr<VKFileResource> m_resource;
    std::shared_ptr<ui::Label> m_titleLabel;
    std::shared_ptr<ui::Label> m_sizeLabel;
    std::shared_ptr<ui::Label> m_modDateLabel;
    std::shared_ptr<ui::Label> m_extLabel;
    std::shared_ptr<ui::Label> m_parentLabel;
    std::shared_ptr<ui::ImageView> m_iconView;
    std::shared_ptr<ui::Button> m_markControl;
    bool m_marked = false;
    std::shared_ptr<core::Timer> m_longTouchTimer;
    gfx::Point m_touchDownLocation;
    core::Observation m_thumbnailObservation;
    std::unique_ptr<VKFolderCountWatch> m_countWatch;
    // The folder whose count (of its entries, by the hidden rule in
    // m_countedHidden) the row shows or awaits; empty for other rows.
    std::string m_countedPath;
    // The count arrived (absent: the folder could not be listed).
    bool m_counted = false;
    std::optional<uint32_t> m_count;
    bool m_countedHidden = false;
};
