#include "Platform/Host/HostKeys.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Event.h"
#include "Platform/Host/GuardedCallback.h"
#include "Platform/Host/ScreenFit.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/TextInput.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

#include <gtk/gtk.h>

#include <optional>

namespace ui {

namespace {

TextInput* focusedTextInput()
{
    auto* application = Application::shared();
    auto window = application ? application->keyWindow() : nullptr;
    return window ? dynamic_cast<TextInput*>(window->firstResponder()) : nullptr;
}

std::weak_ptr<core::Object> objectOf(TextInput* input)
{
    auto* object = dynamic_cast<core::Object*>(input);
    return object ? object->weak_from_this() : std::weak_ptr<core::Object>();
}

size_t nextCodePoint(std::string_view text, size_t offset)
{
    if (offset >= text.size())
        return text.size();
    ++offset;
    while (offset < text.size() && (static_cast<unsigned char>(text[offset]) & 0xC0) == 0x80)
        ++offset;
    return offset;
}

int remoteControlSubtype(guint keyval)
{
    switch (keyval) {
    case GDK_KEY_AudioPlay:
    case GDK_KEY_AudioPause:
        return Event::RemoteControlTogglePlayPause;
    case GDK_KEY_AudioNext:
        return Event::RemoteControlNextTrack;
    case GDK_KEY_AudioPrev:
        return Event::RemoteControlPreviousTrack;
    case GDK_KEY_AudioStop:
        return Event::RemoteControlStop;
    default:
        return 0;
    }
}

// The command of a key outside typing (`typing`: a text input has the keys
// and took what it edits with; Up and Down, which a field does not use, go
// on to what is around it, as a search's results).
std::optional<KeyCommand> commandOf(const GdkEventKey* event, bool typing)
{
    bool control = (event->state & GDK_CONTROL_MASK) != 0;
    bool alt = (event->state & GDK_MOD1_MASK) != 0;
    bool shift = (event->state & GDK_SHIFT_MASK) != 0;
    guint key = gdk_keyval_to_lower(event->keyval);
    if (control)
        switch (key) {
        case GDK_KEY_f:
            return KeyCommand::Find;
        case GDK_KEY_w:
            return KeyCommand::Close;
        case GDK_KEY_plus:
        case GDK_KEY_equal:
        case GDK_KEY_KP_Add:
            return KeyCommand::ZoomIn;
        case GDK_KEY_minus:
        case GDK_KEY_KP_Subtract:
            return KeyCommand::ZoomOut;
        case GDK_KEY_0:
        case GDK_KEY_KP_0:
        case GDK_KEY_KP_Insert:
            return KeyCommand::ZoomReset;
        default:
            return std::nullopt;
        }
    if (alt)
        return key == GDK_KEY_Left || key == GDK_KEY_KP_Left ? std::optional(KeyCommand::Back) : std::nullopt;
    if (key == GDK_KEY_Escape)
        return KeyCommand::Escape;
    bool vertical = key == GDK_KEY_Up || key == GDK_KEY_KP_Up || key == GDK_KEY_Down || key == GDK_KEY_KP_Down;
    if (typing && !vertical)
        return std::nullopt;
    switch (key) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        return KeyCommand::Return;
    case GDK_KEY_BackSpace:
        return KeyCommand::Back;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
        return KeyCommand::Up;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        return KeyCommand::Down;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        return KeyCommand::Left;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        return KeyCommand::Right;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
        return KeyCommand::PageUp;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
        return KeyCommand::PageDown;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
        return KeyCommand::Home;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
        return KeyCommand::End;
    case GDK_KEY_space:
        return shift ? KeyCommand::PageUp : KeyCommand::PageDown;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
        return KeyCommand::Delete;
    default:
        return std::nullopt;
    }
}

// A quarter turn of the device, clockwise or back.
Orientation turned(Orientation from, bool clockwise)
{
    static const Orientation ring[] = { Orientation::Portrait, Orientation::LandscapeLeft,
        Orientation::PortraitUpsideDown, Orientation::LandscapeRight };
    int index = 0;
    for (int i = 0; i < 4; ++i)
        if (ring[i] == from)
            index = i;
    return ring[(index + (clockwise ? 1 : 3)) % 4];
}

} // namespace

struct HostKeys::Impl : std::enable_shared_from_this<HostKeys::Impl> {
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    std::function<ScreenFit()> fit;
    GtkIMContext* im = nullptr;
    GtkClipboard* clipboard = nullptr;
    std::function<void(Orientation)> turned;
    std::weak_ptr<core::Object> focused;
    bool imFocused = false;
    bool clientWindowSet = false;
    gfx::Rect caret;
    long pasteboardCount = -1;
    std::vector<gulong> handlers;
    gulong focusHandler = 0;

    // The clipboard answers later, on a pass of the main loop; the host may
    // be gone by then.
    struct Request {
        std::weak_ptr<Impl> keys;
        std::weak_ptr<core::Object> input;
        bool paste = false;
    };

    void requestClipboard(bool paste)
    {
        auto* request = new Request { weak_from_this(), paste ? objectOf(focusedTextInput()) : std::weak_ptr<core::Object>(),
            paste };
        gtk_clipboard_request_text(clipboard, GuardedCallback<onClipboardText>::call, request);
    }

    static void onClipboardText(GtkClipboard*, const gchar* text, gpointer data)
    {
        std::unique_ptr<Request> request(static_cast<Request*>(data));
        auto self = request->keys.lock();
        if (!self)
            return;
        if (text) {
            size_t length = strlen(text);
            if (length > MaximumClipboardText) {
                // Refused, and no older text pasted in its place.
                core::log("The clipboard's text of {} bytes is too long to take (at most {})", length,
                    MaximumClipboardText);
                return;
            }
            std::string taken = validText(text, length);
            auto general = Pasteboard::general();
            if (general->string() != taken) {
                general->setString(taken);
                self->pasteboardCount = general->changeCount();
            }
        }
        if (!request->paste)
            return;
        auto object = request->input.lock();
        TextInput* input = focusedTextInput();
        if (!object || !input || objectOf(input).lock() != object)
            return;
        if (auto text = Pasteboard::general()->string(); text && !text->empty())
            input->paste(*text);
    }

    void sendOut()
    {
        auto general = Pasteboard::general();
        long count = general->changeCount();
        if (count == pasteboardCount)
            return;
        pasteboardCount = count;
        std::string text;
        if (auto string = general->string())
            text = *string;
        else if (auto url = general->url())
            text = url->absoluteString();
        if (!text.empty())
            gtk_clipboard_set_text(clipboard, text.data(), int(text.size()));
    }

    void followFocus()
    {
        if (!clientWindowSet && gtk_widget_get_realized(area)) {
            gtk_im_context_set_client_window(im, gtk_widget_get_window(area));
            clientWindowSet = true;
        }
        TextInput* input = focusedTextInput();
        auto object = objectOf(input);
        if (object.lock() == focused.lock() && imFocused == (input != nullptr))
            return;
        if (auto old = focused.lock()) {
            if (auto* oldInput = dynamic_cast<TextInput*>(old.get()))
                oldInput->unmarkText();
        }
        if (imFocused) {
            gtk_im_context_reset(im);
            gtk_im_context_focus_out(im);
            imFocused = false;
        }
        focused = object;
        caret = {};
        if (input) {
            gtk_im_context_focus_in(im);
            imFocused = true;
            // A live page holding the keyboard lets it go: keys are the
            // input's now.
            if (gtk_window_get_focus(GTK_WINDOW(window)) != area)
                gtk_widget_grab_focus(area);
        }
    }

    // Another widget of the window (a live page) took the keyboard: the
    // toolkit's first responder resigns, so keys go on to that widget.
    static void onSetFocus(GtkWindow*, GtkWidget* widget, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        auto* application = Application::shared();
        auto keyWindow = application ? application->keyWindow() : nullptr;
        if (!widget || widget == self->area || !keyWindow)
            return;
        if (Responder* responder = keyWindow->firstResponder())
            responder->resignFirstResponder();
        self->followFocus();
    }

    // The candidate window stands by the caret: where the input draws it,
    // on the screen, then in the area as the screen is fitted and turned.
    void followCaret()
    {
        TextInput* input = imFocused ? focusedTextInput() : nullptr;
        auto* view = dynamic_cast<View*>(input);
        auto bounds = view ? input->caretBounds() : std::nullopt;
        if (!bounds || !fit)
            return;
        gfx::Rect onScreen = view->layer().transformToRoot().apply(*bounds);
        gfx::Rect inArea = fit().areaRect(onScreen);
        if (inArea == caret)
            return;
        caret = inArea;
        GdkRectangle location { int(inArea.x()), int(inArea.y()), std::max(1, int(inArea.width())),
            std::max(1, int(inArea.height())) };
        gtk_im_context_set_cursor_location(im, &location);
    }

    // Typing into the input with the keyboard: true when taken.
    bool edit(TextInput* input, GdkEventKey* event)
    {
        if (gtk_im_context_filter_keypress(im, event))
            return true;
        bool control = (event->state & GDK_CONTROL_MASK) != 0;
        guint key = gdk_keyval_to_lower(event->keyval);
        std::string text = input->text();
        core::Range selection = input->selectedRange();
        if (selection.location == core::kNotFound || selection.location > text.size())
            selection = { text.size(), 0 };
        if (control) {
            switch (key) {
            case GDK_KEY_a:
                input->setSelectedRange({ 0, text.size() });
                return true;
            case GDK_KEY_c:
                input->copy();
                sendOut();
                return true;
            case GDK_KEY_x:
                input->cut();
                sendOut();
                return true;
            case GDK_KEY_v:
                // The desktop's clipboard first; the paste runs in its answer.
                requestClipboard(true);
                return true;
            default:
                return false;
            }
        }
        if (event->state & GDK_MOD1_MASK)
            return false;
        switch (event->keyval) {
        case GDK_KEY_BackSpace:
            input->deleteBackward();
            return true;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            if (selection.length == 0 && selection.location < text.size())
                input->setSelectedRange({ selection.location, nextCodePoint(text, selection.location) - selection.location });
            input->deleteBackward();
            return true;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            input->returnKeyPressed();
            return true;
        case GDK_KEY_Tab:
            // Tab goes on to the next field where Return does.
            if (input->returnKeyType() != TextInput::ReturnKeyType::Next)
                return false;
            input->returnKeyPressed();
            return true;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            if (selection.length > 0)
                input->setSelectedRange({ selection.location, 0 });
            else
                input->setSelectedRange({ TextInput::previousCodePoint(text, selection.location), 0 });
            return true;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            if (selection.length > 0)
                input->setSelectedRange({ selection.end(), 0 });
            else
                input->setSelectedRange({ nextCodePoint(text, selection.location), 0 });
            return true;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            input->setSelectedRange({ 0, 0 });
            return true;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            input->setSelectedRange({ text.size(), 0 });
            return true;
        default:
            return false;
        }
    }

    static void onCommit(GtkIMContext*, const gchar* text, gpointer data)
    {
        (void)data;
        TextInput* input = focusedTextInput();
        if (!input || !text)
            return;
        std::string valid = validText(text, strlen(text));
        if (input->hasMarkedText()) {
            input->setMarkedText("", {});
            input->unmarkText();
        }
        if (!valid.empty())
            input->insertText(valid);
    }

    static void onPreeditChanged(GtkIMContext* im, gpointer)
    {
        TextInput* input = focusedTextInput();
        gchar* text = nullptr;
        gint cursor = 0;
        gtk_im_context_get_preedit_string(im, &text, nullptr, &cursor);
        std::string valid = text ? validText(text, strlen(text)) : std::string();
        g_free(text);
        if (!input)
            return;
        if (valid.empty()) {
            if (input->hasMarkedText()) {
                input->setMarkedText("", {});
                input->unmarkText();
            }
            return;
        }
        // GTK counts characters, the toolkit bytes.
        const char* end = g_utf8_offset_to_pointer(valid.c_str(), std::clamp<glong>(cursor, 0, g_utf8_strlen(valid.c_str(), -1)));
        input->setMarkedText(valid, { size_t(end - valid.c_str()), 0 });
    }
};

HostKeys::HostKeys(GtkWidget* window, GtkWidget* area, std::function<ScreenFit()> fit,
    std::function<void(Orientation)> turned)
    : m(std::make_shared<Impl>())
{
    m->window = window;
    m->area = area;
    m->fit = std::move(fit);
    m->turned = std::move(turned);
    m->im = gtk_im_multicontext_new();
    m->clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    m->handlers.push_back(g_signal_connect(m->im, "commit", G_CALLBACK(GuardedCallback<Impl::onCommit>::call), m.get()));
    m->handlers.push_back(g_signal_connect(m->im, "preedit-changed", G_CALLBACK(GuardedCallback<Impl::onPreeditChanged>::call), m.get()));
    m->focusHandler = g_signal_connect(window, "set-focus", G_CALLBACK(GuardedCallback<Impl::onSetFocus>::call), m.get());
    m->pasteboardCount = Pasteboard::general()->changeCount();
    // A desktop keyboard takes no room on the screen.
    Keyboard::shared().setHardware(true);
}

HostKeys::~HostKeys()
{
    for (gulong handler : m->handlers)
        g_signal_handler_disconnect(m->im, handler);
    g_signal_handler_disconnect(m->window, m->focusHandler);
    if (m->imFocused)
        gtk_im_context_focus_out(m->im);
    gtk_im_context_set_client_window(m->im, nullptr);
    g_object_unref(m->im);
    Keyboard::shared().setHardware(false);
}

bool HostKeys::keyPress(GdkEventKey* event)
{
    auto* application = Application::shared();
    if (!application)
        return false;
    bool control = (event->state & GDK_CONTROL_MASK) != 0;
    guint key = gdk_keyval_to_lower(event->keyval);
    if (control && key == GDK_KEY_q) {
        application->terminate();
        return true;
    }
    if (control && (event->keyval == GDK_KEY_Left || event->keyval == GDK_KEY_Right)) {
        Orientation next = turned(application->deviceOrientation(), event->keyval == GDK_KEY_Right);
        application->setDeviceOrientation(next);
        if (m->turned)
            m->turned(next);
        return true;
    }
    if (int subtype = remoteControlSubtype(event->keyval)) {
        application->sendEvent(Event::remoteControl(subtype));
        return true;
    }
    m->followFocus();
    if (TextInput* input = focusedTextInput(); input && m->edit(input, event))
        return true;
    auto command = commandOf(event, focusedTextInput() != nullptr);
    if (!command)
        return false;
    // A live page holding the keyboard keeps its keys, but for the ways
    // out of it, its zoom (the view's own, as the wheel's) and while an
    // alert, a sheet or a popover stands over it.
    bool wayOut = *command == KeyCommand::Escape || *command == KeyCommand::Close
        || (*command == KeyCommand::Back && (event->state & GDK_MOD1_MASK)) || *command == KeyCommand::ZoomIn
        || *command == KeyCommand::ZoomOut || *command == KeyCommand::ZoomReset;
    auto keyWindow = application->keyWindow();
    bool choice = keyWindow && keyWindow->showsChoiceInFront();
    if (!focusedTextInput() && gtk_window_get_focus(GTK_WINDOW(m->window)) != m->area && !wayOut && !choice)
        return false;
    application->sendKeyCommand(*command);
    return true;
}

bool HostKeys::keyRelease(GdkEventKey* event)
{
    if (!focusedTextInput())
        return false;
    return gtk_im_context_filter_keypress(m->im, event);
}

void HostKeys::focusIn()
{
    m->requestClipboard(false);
}

void HostKeys::follow()
{
    m->followFocus();
    m->followCaret();
    m->sendOut();
}

gfx::Rect HostKeys::caretLocation() const
{
    return m->caret;
}

std::string HostKeys::validText(const char* text, size_t length)
{
    gchar* valid = g_utf8_make_valid(text, gssize(length));
    std::string result(valid);
    g_free(valid);
    return result;
}

} // namespace ui
