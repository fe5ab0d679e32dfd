#pragma once

// What the search and bookmarks screens share: a 40-page report with
// visible text ("needle" on pages 7, 19 and 33) and an outline four deep
// with long titles, pictures taken into build/screens/pdf_search/, and a
// grey stand-in where the keyboard covers the screen (the renderer draws
// none).

#include "PDFViewerTestCase.h"

#include "Support/UIScreens.h"

#include <string>

namespace test {

class PDFSearchScreensTestCase : public PDFViewerTestCase {
protected:
    void SetUp() override;
    void TearDown() override;
    void use(const DeviceScreen& device);
    void shoot(const std::string& name);
    void expectGolden(const std::string& name);
    void writeReport();

    DeviceScreen m_device = phoneScreen;
};

} // namespace test
