#pragma once

// Wires the web browser into the application: the program calls it once
// before launch, and test fixtures that need the browser call it too.
// Calling it again changes nothing. The downloads screen a document's link
// opens shows the files it opens or reveals in `browser` (held weakly).

#include <memory>

class VKFolderBrowserServices;

void VKRegisterWebBrowser(std::weak_ptr<VKFolderBrowserServices> browser = {});
