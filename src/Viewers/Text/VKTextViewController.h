#pragma once

// The plain-text viewer: a text file of any size in a read-only text view
// inside the paged document frame. The file is decoded on a worker (see
// VKTextLoader) with the document's encoding, or one found for it; a large
// file shows its first screen while the rest loads. The reader picks the
// document's encoding in the chooser behind the sheet's "Change Text
// Encoding" and its font size with the two-segment control in the
// navigation bar; both are kept per document.

#include "App/Settings/VKTextEncodingsController.h"
#include "Viewers/Document/VKDocumentViewController.h"
#include "Viewers/Text/VKTextLoader.h"

#include "Platform/Graphics/Font.h"
#include "Platform/UI/TextView.h"

#include <memory>
#include <string>

namespace core {
class Thread;
}
namespace ui {
class SegmentedControl;
}
class VKTextView;

class VKTextViewController : public VKDocumentViewController,
                             public VKTextEncodingsControllerDelegate,
                             public ui::TextViewDelegate {
public:
    static constexpr int ChangeTextEncodingButtonTag = 1007;
    static constexpr const char* DefaultTextFontSizeKey = "VKDefaultTextFontSize";
    static constexpr const char* DisableDataDetectorsKey = "VKDocumentDisableDataDetectors";
    static constexpr const char* FontName = "Helvetica";

    static std::shared_ptr<VKTextViewController> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController);
    static std::string defaultTextEncoding();
    static float defaultFontSize();
    // The document's stored size; 0 when none (also for NaN or ≤ 0), at
    // most 40.
    static float fontSizeSettingForPath(const std::string& path);
    static bool hasFontSizeSettingForPath(const std::string& path) { return fontSizeSettingForPath(path) > 0; }

    ~VKTextViewController() override;

    std::string currentTextEncoding() const { return m_currentTextEncoding; }
    void setCurrentTextEncoding(std::string encoding) { m_currentTextEncoding = std::move(encoding); }
    VKTextView* textView() const { return m_textView.get(); }
    bool isEditable() const;
    void setEditable(bool editable);

    // The frame's contract.
    gfx::Point contentOffset() override;
    void setContentOffset(gfx::Point offset) override;
    gfx::Size contentSize() override;
    ui::View* verticalScrollIndicator() override;
    void loadContentView() override;
    std::shared_ptr<ui::PrintFormatter> printFormatter() override;
    void storePersistentState() override;

    // Font size.
    std::shared_ptr<ui::BarButtonItem> fontSizeBarButtonItem();
    ui::SegmentedControl* fontSizeControl() const { return m_fontSizeControl.get(); }
    // Segment 0 makes the text one point smaller, 1 larger; `byUser` marks
    // the size as the reader's.
    void adjustFontSize(int segment, bool byUser = true);
    void updateTextViewFont(const gfx::Font& font);

    // Encodings.
    void reloadText();
    void showChangeTextEncoding();
    void textEncodingsControllerDidEnd(VKTextEncodingsController& controller, const std::string& encoding) override;
    void textEncodingsControllerCancelled(VKTextEncodingsController&) override { }

    void addButtonsToActionSheet(VKActionSheet& sheet) override;
    void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag) override;
    ui::Application::StatusBarStyle statusBarStyle() const override;
    void viewDidUnload() override;
    void willBeginDragging(ui::ScrollView& scrollView) override;
    void setUIHidden(bool hidden, bool animated) override;
    void didRotate(ui::Orientation fromOrientation) override;

    // The worker's answers, on the main thread.
    void textLoadDidEnd(VKTextLoader::Result result);
    void showFirstScreen(const std::string& encoding, std::shared_ptr<ui::TextStorage> text, std::optional<float> fontSize);

private:
    // The text view's insets follow the bars, so that its first lines show
    // below the top bar and its last above the toolbar while they show; a
    // text at its top or end stays there as they come and go, anything
    // else stays where it is on screen. The frame's offsets count from the
    // top of the uncovered part.
    void updateTextInsets(bool animated);
    void loadText();
    void updateFontSizeSegments(float size);
    void stopLoading();

    std::string m_currentTextEncoding;
    std::shared_ptr<VKTextView> m_textView;
    bool m_userDidCustomiseFontSize = false;
    bool m_userDidCustomiseTextEncoding = false;
    std::shared_ptr<ui::BarButtonItem> m_fontSizeBarButtonItem;
    std::shared_ptr<ui::SegmentedControl> m_fontSizeControl;
    // Changed on the main thread only: the observer calls this directly
    // (see core::Observation).
    core::Observation m_offsetObservation;
    core::Observation m_fontObservation;
    std::shared_ptr<core::Thread> m_loadThread;
    // Answers of an older load are dropped.
    unsigned m_loadGeneration = 0;
};
