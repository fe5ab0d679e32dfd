#include "Viewers/Web/VKWebView.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebViewDelegate.h"
#include "RTF/RTFtoHTML.h"

#include <algorithm>
#include <cmath>
#include <utility>

std::shared_ptr<VKWebView> VKWebView::create(const gfx::Rect& frame)
{
    auto view = View::make<VKWebView>(frame);
    view->scrollView().setDelegate(std::static_pointer_cast<ui::ScrollViewDelegate>(view));
    return view;
}

VKWebView::~VKWebView()
{
    cancelRTFConversion();
}

void VKWebView::loadRTFAtPath(const std::string& path, const std::optional<core::URL>& baseURL)
{
    cancelRTFConversion();
    unsigned generation = m_conversionGeneration;
    bool isDirectory = false;
    if (!core::fs::exists(path, &isDirectory) || isDirectory) {
        core::RunLoop::main().performAfter(sharedAs<VKWebView>(), 0, [generation](VKWebView& self) {
            if (self.m_conversionGeneration == generation)
                self.rtfLoadDidFail(core::Error());
        });
        return;
    }
    core::Value::Dictionary job { { "RTFPath", core::Value(path) } };
    if (baseURL)
        job["baseURL"] = core::Value(baseURL->absoluteString());
    startRTFConversionAndLoad(std::move(job));
}

void VKWebView::startRTFConversionAndLoad(core::Value::Dictionary job)
{
    unsigned generation = m_conversionGeneration;
    std::weak_ptr<VKWebView> weak = std::static_pointer_cast<VKWebView>(shared_from_this());
    m_conversion = core::Thread::detach(RTFThreadName, [weak, generation, job = std::move(job)]() mutable {
        core::Error error;
        auto html = convertRTFAtPathToHTML(job.at("RTFPath").string(), &error);
        if (core::Thread::current()->isCancelled())
            return;
        if (html)
            job["HTML"] = core::Value(std::move(*html));
        core::RunLoop::main().post(weak, [generation, job = std::move(job), error, ok = html.has_value()](VKWebView& self) {
            if (self.m_conversionGeneration != generation)
                return;
            self.m_conversion.reset();
            if (ok)
                self.rtfLoadDidFinish(core::Value(job));
            else
                self.rtfLoadDidFail(error);
        });
    });
}

void VKWebView::cancelRTFConversion()
{
    ++m_conversionGeneration;
    if (m_conversion)
        m_conversion->cancel();
    m_conversion.reset();
}

void VKWebView::rtfLoadDidFinish(const core::Value& job)
{
    const auto& fields = job.dictionary();
    std::optional<core::URL> base;
    if (auto found = fields.find("baseURL"); found != fields.end())
        base = core::URL::parse(found->second.string());
    auto html = fields.find("HTML");
    loadHTMLString(html != fields.end() ? std::string_view(html->second.string()) : std::string_view(), base);
}

void VKWebView::rtfLoadDidFail(const core::Error& error)
{
    if (auto d = delegate())
        d->didFailLoad(*this, error);
}

void VKWebView::willBeginDragging(ui::ScrollView& scrollView)
{
    if (auto d = vkDelegate())
        d->webViewDidStartScrolling(*this, scrollView);
}

void VKWebView::setPageTop(float top)
{
    if (!(top >= 0) || !std::isfinite(top))
        top = 0;
    float old = std::exchange(m_pageTop, top);
    if (top == old)
        return;
    gfx::Point offset = scrollView().contentOffset();
    setDocumentViewFrame(documentViewFrame());
    // Read into the page, it stays where it is on screen; at its top, the
    // top shows below the room.
    float y = offset.y > old ? offset.y - old + top : std::min(offset.y, top);
    if (y != offset.y)
        scrollView().setContentOffset({ offset.x, y });
}

void VKWebView::setDocumentViewFrame(const gfx::Rect& frame)
{
    gfx::Size before = scrollView().contentSize();
    gfx::Rect below = frame;
    below.origin.y = m_pageTop;
    web::WebView::setDocumentViewFrame(below);
    if (scrollView().contentSize() == before)
        return;
    if (auto d = vkDelegate())
        d->webViewDidChangeContentSize(*this);
}

ui::View* VKWebViewGetDocumentView(ui::View& view)
{
    if (auto* web = dynamic_cast<web::WebView*>(&view))
        return &web->documentView();
    for (const auto& subview : view.subviews()) {
        if (dynamic_cast<web::WebDocumentView*>(subview.get()))
            return subview.get();
        if (auto* found = VKWebViewGetDocumentView(*subview))
            return found;
    }
    return nullptr;
}
