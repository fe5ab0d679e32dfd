#pragma once

// Wires the web browser into the application: the program calls it once
// before launch, and test fixtures that need the browser call it too.
// Calling it again changes nothing.
void VKRegisterWebBrowser();
