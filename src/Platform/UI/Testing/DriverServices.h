#pragma once

// The test driver's side of the device's services a screen hands work to:
// the URLs the application opened, the photo album's pending saves, audio
// interruptions, the switches for printing, open-in applications and mail,
// the print panel's and the mail composer's outcomes, and the image
// picker (opening an album, picking its media through taps as a person
// would, cancelling).

#include "Platform/Core/Error.h"
#include "Platform/Core/URL.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {
class ImagePickerController;
class MailComposeController;
} // namespace ui

namespace ui::testing {

class DriverBars;
class DriverTables;
class DriverTouches;

class DriverServices {
public:
    DriverServices(DriverTouches& touches, DriverBars& bars, DriverTables& tables);
    DriverServices(const DriverServices&) = delete;
    DriverServices& operator=(const DriverServices&) = delete;

    const std::vector<core::URL>& openedURLs() const;
    // Runs the photo album's pending completions (with `error` when given);
    // answers how many. They run on workers: wait for them.
    size_t completeAlbumSaves(std::optional<core::Error> error = std::nullopt);
    size_t albumSaveCount() const;
    // The device reports an audio interruption beginning or ending.
    void audioInterruption(bool begins);

    // Switches of the device's services (all off in the program).
    void setPrintingAvailable(bool available);
    void setOpenInApplications(std::vector<std::string> applications);
    // The print panel's outcome: its completion runs once, the panel goes
    // (failing when no panel shows).
    void completePrint(bool completed, std::optional<core::Error> error = std::nullopt);

    // Mail: the composer shown in a window (failing when none is) and the
    // person's outcome (MailComposeController::Result).
    void setCanSendMail(bool can);
    std::shared_ptr<MailComposeController> mailComposer() const;
    void finishMail(int result, std::optional<core::Error> error = std::nullopt);

    // The image picker shown in a window (failing when none is); opening an
    // album by name, picking its media by index, cancelling.
    std::shared_ptr<ImagePickerController> imagePicker() const;
    void openPickerAlbum(std::string_view name);
    void pickMedia(size_t index);
    void cancelPicker();

private:
    // The front controller of class T whose view is in a shown window.
    template<typename T> std::shared_ptr<T> shownController() const;

    DriverTouches& m_touches;
    DriverBars& m_bars;
    DriverTables& m_tables;
};

} // namespace ui::testing
