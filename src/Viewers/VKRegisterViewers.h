#pragma once

// Wires the document viewers into the application: each viewer kind built
// on the paged frame registers its factory with the viewer choice here.
// The program calls it once before launch; a kind not registered opens in
// the choice's stand-in. Calling it again changes nothing.
void VKRegisterViewers();
