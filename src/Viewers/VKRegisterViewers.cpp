#include "Viewers/VKRegisterViewers.h"

void VKRegisterViewers()
{
    // The PDF, text and web viewers add their factories here as they come;
    // until then every document opens in the stand-in.
}
