#include "Kit/GestureRecognizerAdditions.h"

#include "Platform/UI/GestureRecognizer.h"

void cancel(ui::GestureRecognizer& recognizer)
{
    if (!recognizer.isEnabled())
        return;
    recognizer.setEnabled(false);
    recognizer.setEnabled(true);
}
