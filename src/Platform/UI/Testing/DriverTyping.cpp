#include "Platform/UI/Testing/DriverTyping.h"

#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Exception.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Testing/DriverSteps.h"
#include "Platform/UI/Testing/DriverTouches.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/TextInput.h"
#include "Platform/UI/ViewTreeDump.h"
#include "Platform/UI/Window.h"

namespace ui::testing {

DriverTyping::DriverTyping(DriverTouches& touches)
    : m_touches(touches)
{
}

TextInput& DriverTyping::textInput() const
{
    auto* input = dynamic_cast<TextInput*>(firstResponder());
    if (!input)
        throw core::Exception(DriverFailure, "cannot type: the first responder is no text input\n" + ViewTreeDump::dump());
    return *input;
}

void DriverTyping::type(std::string_view text)
{
    auto& input = textInput();
    auto keep = dynamic_cast<Responder&>(input).shared_from_this();
    core::forEachCodePoint(text, [&](const core::CodePoint& point, size_t offset) {
        input.insertText(text.substr(offset, point.length));
    });
    settle();
}

void DriverTyping::paste(std::string_view text)
{
    textInput().paste(text);
    settle();
}

bool DriverTyping::key(KeyCommand command)
{
    bool taken = Application::shared() && Application::shared()->sendKeyCommand(command);
    settle();
    return taken;
}

void DriverTyping::deleteBackward()
{
    textInput().deleteBackward();
    settle();
}

void DriverTyping::pressReturn()
{
    textInput().returnKeyPressed();
    settle();
}

bool DriverTyping::copy()
{
    bool copied = textInput().copy();
    settle();
    return copied;
}

bool DriverTyping::cut()
{
    bool cut = textInput().cut();
    settle();
    return cut;
}

void DriverTyping::clear(const TextField& field)
{
    if (!field.isClearButtonVisible())
        failStep("cannot clear the field: its clear button is not showing", { &field });
    gfx::Rect r = field.clearButtonRectForBounds(field.bounds());
    m_touches.tapAt(field, { r.midX(), r.midY() });
}

bool DriverTyping::keyboardVisible() const
{
    return Keyboard::shared().isVisible();
}

Responder* DriverTyping::firstResponder() const
{
    auto window = drivenApplication().keyWindow();
    return window ? window->firstResponder() : nullptr;
}

} // namespace ui::testing
