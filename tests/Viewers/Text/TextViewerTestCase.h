#pragma once

// The text viewer's tests: the document frame's fixture with the text
// viewer's defaults registered, opening a text file and waiting for its
// worker.

#include "../Document/DocumentTestCase.h"

#include "Viewers/Text/VKTextViewController.h"

#include <memory>
#include <string>
#include <string_view>

namespace test {

class TextViewerTestCase : public DocumentTestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens "Files/<name>" (made with `contents` unless it exists), pushed
    // unanimated, and waits for the load unless told not to.
    std::shared_ptr<VKTextViewController> openText(std::string_view name, std::string_view contents, bool wait = true);
    // Runs the loop until the viewer's load ended.
    void waitForLoad(VKTextViewController& viewer);
    // Waits until no text viewer's worker runs; false after 20 seconds.
    bool waitForWorkers();
};

} // namespace test
