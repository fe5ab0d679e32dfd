// A test-only program: the document frame's test viewer, a 30-screen
// "Annual Report", in the desktop window, for the desktop check to drive
// from outside. Its home is the first argument. It prints "offset Y" on
// standard output whenever the content moves, "turned N" when the device
// has turned, "bars hidden" and "bars shown" when they have gone and come
// (each once nothing animates any more), and "ready" once the window shows;
// the window's close ends it with status 0, SIGUSR1 writes the screen's
// picture and views into the home's tmp.
// With "pdf" after the home it shows a six-page PDF in the PDF viewer's
// double page layout instead and prints "page N" as the shown page changes.

#include "BandViewer.h"
#include "Support/PdfBuilder.h"

#include "../DesktopProgram.h"

#include "Shell/VKApplication.h"
#include "Shell/VKFullScreenViewController.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Viewers/PDF/VKPDFViewController.h"
#include "Viewers/VKRegisterViewers.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkStartup.h"

#include <csignal>
#include <functional>
#include <cstdio>
#include <pthread.h>

int main(int argc, char** argv)
{
    bool pdf = argc == 3 && std::string(argv[2]) == "pdf";
    if (argc != 2 && !pdf) {
        std::fprintf(stderr, "usage: %s HOME [pdf]\n", argv[0]);
        return 2;
    }
    auto application = test::startDesktopProgram(argv[1]);
    if (!application)
        return 3;
    auto& loop = core::RunLoop::main();

    std::string folder = application->documentsDirectory();
    core::fs::createDirectory(folder, true);
    std::string path = folder + "/Annual Report.pdf";
    core::fs::writeFileAtomically(path, "%PDF-1.4");

    auto window = ui::Window::create(ui::Screen::main()->bounds());
    window->makeKeyAndVisible();
    auto list = std::make_shared<ui::TableViewController>();
    list->setTitle("Documents");
    auto navigation = VKNavigationController::create(list);
    navigation->setToolbarHidden(false);
    window->setRootViewController(navigation);
    std::shared_ptr<test::BandViewer> viewer;
    std::shared_ptr<VKPDFViewController> pdfViewer;
    core::Observation moved;
    std::shared_ptr<std::function<void()>> report;
    if (pdf) {
        VKRegisterViewers();
        test::PdfBuilder builder;
        for (int page = 0; page < 6; ++page)
            builder.addPage("0 0 1 rg 72 72 468 648 re f");
        builder.write(path);
        VKFileSettingsManager::defaultManager()->setDocumentLayout("VKDVLHD", path);
        pdfViewer = VKPDFViewController::create(VKFileResource::resourceWithPath(path), nullptr);
        navigation->pushViewController(pdfViewer, false);
        // The page shown, told when it changes.
        std::weak_ptr<VKPDFViewController> weak = pdfViewer;
        auto shown = std::make_shared<unsigned>(0);
        report = std::make_shared<std::function<void()>>();
        std::weak_ptr<std::function<void()>> again = report;
        *report = [weak, shown, &loop, again] {
            auto viewer = weak.lock();
            if (!viewer)
                return;
            if (unsigned page = viewer->currentPageNumber(); page != *shown) {
                *shown = page;
                std::printf("page %u\n", page);
                std::fflush(stdout);
            }
            loop.performAfter(0.1, [again] {
                if (auto next = again.lock())
                    (*next)();
            });
        };
        (*report)();
    } else {
        viewer = test::BandViewer::create(VKFileResource::resourceWithPath(path), nullptr, { 320, 480 * 30 });
        navigation->pushViewController(viewer, false);
        loop.runUntilIdle();
        moved = viewer->scroll->observeContentOffset([](const gfx::Point&, const gfx::Point& now) {
            std::printf("offset %g\n", double(now.y));
            std::fflush(stdout);
        });
    }
    auto host = ui::WindowHost::open({ "Annual Report", {}, {} });
    if (!host)
        return 4;
    // Each told once what it started has ended.
    auto told = [](std::string line) {
        test::whenAtRest([line] {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        });
    };
    auto turned = core::NotificationCenter::defaultCenter().observe(
        ui::Application::didChangeStatusBarOrientationNotification, nullptr,
        [application, told](const core::Notification&) {
            told("turned " + std::to_string(int(application->statusBarOrientation())));
        });
    auto barsHidden = core::NotificationCenter::defaultCenter().observe(VKFullScreenViewControllerDidHideUINotification,
        nullptr, [told](const core::Notification&) { told("bars hidden"); });
    auto barsShown = core::NotificationCenter::defaultCenter().observe(VKFullScreenViewControllerDidShowUINotification,
        nullptr, [told](const core::Notification&) { told("bars shown"); });
    std::printf("ready\n");
    std::fflush(stdout);
    loop.run();
    // The window goes before what it shows, the stack before the
    // application.
    host.reset();
    window->setRootViewController(nullptr);
    navigation.reset();
    viewer.reset();
    pdfViewer.reset();
    report.reset();
    window.reset();
    test::endDesktopProgram();
    return 0;
}
