#pragma once

#include <memory>

namespace core {

class UserDefaults;

// Ties a settings store to the rest of the system through its change hook:
// each change posts UserDefaults::didChangeNotification on the changing
// thread, and the first change after a save schedules one synchronize() on
// the main loop a second later, so a burst of changes is written once and a
// change is never left unwritten for long.
class UserDefaultsAutosave {
public:
    static constexpr double Delay = 1.0;

    static void attach(const std::shared_ptr<UserDefaults>& defaults);
};

} // namespace core
