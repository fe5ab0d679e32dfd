#pragma once

// The engine where no display lets web content run (a program without a
// window): every load fails on the next pass with NSURLErrorUnknown "Web
// content needs a display", logged once per process; scripts and prints
// fail likewise.

#include "Platform/Web/WebEngine.h"

namespace web {

class NoDisplayWebEngine : public WebEngine {
public:
    static std::shared_ptr<NoDisplayWebEngine> shared();

    std::shared_ptr<WebPage> makePage() override;
    std::string defaultUserAgent() const override { return "Mozilla/5.0 (X11; Linux x86_64)"; }
};

} // namespace web
