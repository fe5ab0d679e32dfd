#pragma once

// The test driver's bar steps: a tap on a bar item (the item itself, or the
// first shown item whose action has a name) and on the front-most back
// button, through the fingers, and the navigation stacks and modal chains
// a test reads back.

#include <string>
#include <string_view>
#include <vector>

namespace ui {
class BarButtonItem;
class NavigationController;
class ViewController;
} // namespace ui

namespace ui::testing {

class DriverTouches;

class DriverBars {
public:
    explicit DriverBars(DriverTouches& touches);
    DriverBars(const DriverBars&) = delete;
    DriverBars& operator=(const DriverBars&) = delete;

    // Bar items, through a tap on the view their bar made: the item itself,
    // or the first shown item whose action has that name.
    void tapBarItem(const BarButtonItem& item);
    void tapBarItem(std::string_view action);
    // Taps the back button of the front-most navigation bar that shows one.
    void tapBack();

    // Controllers: the titles of a navigation stack, bottom first, and the
    // modal chain above a controller, nearest first.
    static std::vector<std::string> stackTitles(const NavigationController& navigation);
    static std::vector<ViewController*> modalChain(const ViewController& controller);

private:
    DriverTouches& m_touches;
};

} // namespace ui::testing
