// The audio layer's per-test reset: every queue a test makes plays into a
// null sink on the test's manual clock unless the test asks for another.

#include "Platform/Media/AudioSink.h"
#include "Platform/Media/NullSink.h"
#include "Support/TestEnvironment.h"

namespace {

void resetMedia()
{
    media::AudioSink::setDefaultFactory([] { return media::NullSink::create(); });
}

const bool registered = (test::TestEnvironment::addReset(resetMedia), true);

} // namespace
