#pragma once

// Dropping a gesture a recognizer is tracking, without turning it off.

namespace ui {
class GestureRecognizer;
}

// An enabled recognizer is disabled and enabled again, which cancels the
// gesture in progress; a disabled one is left alone.
void cancel(ui::GestureRecognizer& recognizer);
