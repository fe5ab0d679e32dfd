#pragma once

// The test driver's keyboard: typing into the first responder (a text
// input; failing without one) one key per code point, a paste as one
// change, delete, return, copy and cut of the selection, a tap on a
// field's clear button, and a desktop key's command as the window host
// sends it. Reads back the first responder and whether the keyboard shows.

#include "Platform/UI/Responder.h"

#include <string_view>

namespace ui {
class TextField;
class TextInput;
} // namespace ui

namespace ui::testing {

class DriverTouches;

class DriverTyping {
public:
    explicit DriverTyping(DriverTouches& touches);
    DriverTyping(const DriverTyping&) = delete;
    DriverTyping& operator=(const DriverTyping&) = delete;

    void type(std::string_view text);
    void paste(std::string_view text);
    void deleteBackward();
    void pressReturn();
    // The first responder's copy and cut of its selection: whether it took.
    bool copy();
    bool cut();
    // Taps the field's clear button.
    void clear(const TextField& field);
    bool keyboardVisible() const;
    // A desktop key's command, as the window host sends it: whether taken.
    bool key(KeyCommand command);

    // The key window's first responder.
    Responder* firstResponder() const;

private:
    TextInput& textInput() const;

    DriverTouches& m_touches;
};

} // namespace ui::testing
