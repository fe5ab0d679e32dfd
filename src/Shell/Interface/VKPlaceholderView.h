#pragma once

// The light gray surface a viewer shows before and under its content. It
// can show, each only while wanted, a message, a progress bar and a Cancel
// button, stacked in the middle ("Loading Report.pdf", the download's
// progress, Cancel). Each piece is made when shown and let go when hidden.

#include "Platform/Core/Observation.h"
#include "Platform/UI/View.h"

#include <memory>

namespace ui {
class Button;
class Label;
class ProgressView;
} // namespace ui

class VKPlaceholderView : public ui::View {
public:
    static constexpr float LabelGap = 5;
    static constexpr float CancelButtonGap = 20;
    // Title insets of the Cancel button, left and right.
    static constexpr float CancelButtonPadding = 15;
    // The least height and width a finger's target needs.
    static constexpr float CancelTargetSize = 44;

    static std::shared_ptr<VKPlaceholderView> create(const gfx::Rect& frame);
    VKPlaceholderView();
    ~VKPlaceholderView() override;

    // Null while hidden.
    ui::Label* label() const { return m_label.get(); }
    ui::ProgressView* progressView() const { return m_progressView.get(); }
    ui::Button* cancelButton() const { return m_cancelButton.get(); }

    // Showing makes the piece once; hiding removes it (hiding one never
    // shown does nothing). A new label text sizes the label and lays out
    // again.
    void setLabelHidden(bool hidden);
    void setProgressViewHidden(bool hidden);
    void setCancelButtonHidden(bool hidden);
    // True when the piece is missing or hidden.
    bool isLabelHidden() const;
    bool isProgressViewHidden() const;
    bool isCancelButtonHidden() const;

    void layoutSubviews() override;
    // The Cancel button's art is 37 points high: a touch within the 44-point
    // band around it is the button's.
    ui::View* hitTest(gfx::Point point, const ui::Event* event = nullptr) override;

private:
    // Makes the piece with `make` when shown and missing, lets it go when
    // hidden.
    template<typename T, typename Make> void showOrHide(std::shared_ptr<T>& piece, bool hidden, Make make);

    std::shared_ptr<ui::Label> m_label;
    std::shared_ptr<ui::ProgressView> m_progressView;
    std::shared_ptr<ui::Button> m_cancelButton;
    // Changed on the main thread only: the observer calls this directly
    // (see core::Observation).
    core::Observation m_labelText;
};
