#pragma once

#include "Platform/Media/ClockSink.h"

namespace media {

// Plays nothing, in real time of the run loop's clock: the tests' sink, and
// the program's when there is no sound device.
class NullSink final : public ClockSink {
public:
    static std::shared_ptr<NullSink> create(Pace pace = Pace::Clock);
};

} // namespace media
