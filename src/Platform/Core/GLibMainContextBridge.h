#pragma once

// Runs GLib's default main context inside the main run loop, so that GTK,
// WebKit and every other GLib user work without a loop of their own (never
// gtk_main, a second thread or polling). Before each wait of the main loop
// the context is prepared and queried: its descriptors become the loop's
// sources (added, changed and removed to follow the context's set) and its
// next timeout caps the wait. After the wait it is checked and dispatched
// inside the pass. Works in every mode of the loop. Main thread only.

namespace core {

class GLibMainContextBridge {
public:
    // Acquires the default context for the main thread and hooks it into the
    // main run loop; later calls do nothing.
    static void install();
    // How many descriptors of the context the loop watches now.
    static int watchedDescriptorCountForTesting();
};

} // namespace core
