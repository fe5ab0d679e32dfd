#pragma once

// The narrow strip of section labels along the right edge of the folder
// list ("#", A–Z, or the letters of the user's language). Touching or
// sliding along it selects a label and sends a value change; the owner
// scrolls to the section. When the strip is too short for every label at
// the font's size, each section that may be compressed keeps every n-th
// label (n = 3, 4, 5 or 6, the first that fits) with a skip mark "●"
// between them, and a touch still reaches every label: it is mapped
// proportionally into the full labels of the section it falls in. The
// labels are drawn by a layer of their own (VKIndexViewLabelsLayer), dimmed
// to 0.75 while untouched; while touched the strip draws a grey capsule
// behind them.

#include "App/FolderBrowser/VKIndexViewDataSource.h"

#include "Platform/Graphics/Font.h"
#include "Platform/UI/Control.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKIndexViewLabelsLayer;

class VKIndexView : public ui::Control {
public:
    static constexpr float Width = 28;
    // Between the strip's edges and its rows of labels, top and bottom.
    static constexpr float LabelInset = 5;
    static constexpr float UntouchedLabelsOpacity = 0.75f;
    static constexpr float DefaultFontSize = 11;
    // The steps tried, in order, when the labels do not fit.
    static constexpr int SmallestStep = 3;
    static constexpr int LargestStep = 6;
    // The mark that stands for the labels a compressed section leaves out.
    static const std::string& skipMark();

    static std::shared_ptr<VKIndexView> create(const gfx::Rect& frame = {});
    VKIndexView();
    ~VKIndexView() override;

    std::shared_ptr<VKIndexViewDataSource> dataSource() const { return m_dataSource.lock(); }
    void setDataSource(std::weak_ptr<VKIndexViewDataSource> dataSource) { m_dataSource = std::move(dataSource); }
    const gfx::Font& font() const { return m_font; }
    // Reloads the labels (how many fit depends on the size).
    void setFont(const gfx::Font& font);

    // The label last selected; a change to a label, and a label selected
    // again, send ValueChanged; nothing sends nothing.
    const std::optional<std::string>& selectedLabel() const { return m_selectedLabel; }
    void setSelectedLabel(std::optional<std::string> label);

    // Asks the data source again and compresses what does not fit.
    void reloadLabels();
    const std::vector<std::vector<std::string>>& labelSections() const { return m_labelSections; }
    const std::vector<std::vector<std::string>>& displaySections() const { return m_displaySections; }
    size_t displayCount() const { return m_displayCount; }

    // The label under a touch (or a point of the strip), or nothing.
    std::optional<std::string> labelForTouch(const ui::Touch& touch);
    std::optional<std::string> labelAtPoint(gfx::Point point);

    // Where the rows of labels lie, and where touches are tracked.
    gfx::Rect labelBounds() const;
    gfx::Rect trackBounds() const;
    VKIndexViewLabelsLayer& labelsLayer() const { return *m_labelsLayer; }

    // Always Width points wide.
    gfx::Size sizeThatFits(gfx::Size size) const override;
    void setFrame(const gfx::Rect& frame) override;
    void setHighlighted(bool highlighted) override;
    // The strip itself inside its bounds (never a subview), nothing outside
    // or while hidden.
    View* hitTest(gfx::Point point, const ui::Event* event = nullptr) override;
    bool beginTracking(const ui::Touch& touch, const ui::Event& event) override;
    bool continueTracking(const ui::Touch& touch, const ui::Event& event) override;
    void endTracking(const ui::Touch* touch, const ui::Event* event) override;
    void draw(gfx::Context& context, const gfx::Rect& rect) override;
    std::string debugText() const override;

private:
    size_t compress(int step);

    std::weak_ptr<VKIndexViewDataSource> m_dataSource;
    std::vector<std::vector<std::string>> m_labelSections;
    std::vector<bool> m_compressible;
    std::vector<std::vector<std::string>> m_displaySections;
    size_t m_displayCount = 0;
    std::optional<std::string> m_selectedLabel;
    gfx::Font m_font;
    std::shared_ptr<VKIndexViewLabelsLayer> m_labelsLayer;
};
