#include "WebBrowser/VKRegisterWebBrowser.h"

// History and bookmarks need no wiring: their stores start at first use.
// The browser's own screens register here as they arrive.
void VKRegisterWebBrowser()
{
}
