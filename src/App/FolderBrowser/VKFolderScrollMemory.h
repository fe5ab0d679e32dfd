#pragma once

#include <optional>
#include <string>

namespace core {
class Value;
}
namespace ui {
class ScrollView;
}

// Where a folder's list was scrolled: kept per folder while the program
// runs, so that a new screen of the folder comes back there, and as a
// fraction of the scrollable height in the stack's saved state. An offset
// that only hides the search bar at the top is not kept. Main thread only.
class VKFolderScrollMemory {
public:
    // The saved state's key; its value is the fraction.
    static constexpr const char* StateKey = "VKStateDictionaryFolderControllerOffsetKey";

    explicit VKFolderScrollMemory(const std::string& folderPath);

    // The offset kept for a folder, by its full or abbreviated path.
    static std::optional<float> stored(const std::string& folderPath);
    static void forgetAllForTesting();

    // Keeps the list's offset, or forgets it when it goes no further than
    // `barHeight`.
    void store(const ui::ScrollView& list, float barHeight);
    // Scrolls to the kept offset, or once to a restored fraction of the
    // rows (at least `floor`), no further than the last row shows above
    // bars `barsHeight` high in all.
    void scrollBack(ui::ScrollView& list, float floor, float barsHeight);

    // The offset as a fraction of the scrollable height: 0 within the bar
    // or with nothing to scroll.
    static float fraction(const ui::ScrollView& list, float barHeight);
    // Out-of-range fractions are clamped, NaN ignored.
    static void scrollToFraction(ui::ScrollView& list, float fraction);

    static core::Value state(float fraction);
    // The fraction a saved state holds, clamped and kept for this screen's
    // next scrollBack; none when it holds no finite number.
    std::optional<float> restore(const core::Value& state);
    // The restored fraction was shown already: scrollBack keeps to offsets.
    void forgetRestored() { m_restoredFraction.reset(); }

private:
    std::string m_key;
    // A fraction, not an offset: it becomes one against the rows listed
    // when the screen next shows.
    std::optional<float> m_restoredFraction;
};
