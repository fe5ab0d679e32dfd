// The audio layer's per-test reset: every queue a test makes plays into a
// null sink on the test's manual clock unless the test asks for another,
// and a missing device is logged afresh.

#include "Platform/Media/AudioQueue.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/Media/NullSink.h"
#include "Support/TestEnvironment.h"

namespace {

void resetMedia()
{
    media::AudioSink::setDefaultFactoryForTesting([] { return media::NullSink::create(); });
    media::AudioQueue::resetForTesting();
}

const bool registered = (test::TestEnvironment::addReset(resetMedia), true);

} // namespace
