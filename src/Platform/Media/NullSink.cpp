#include "Platform/Media/NullSink.h"

namespace media {

std::shared_ptr<NullSink> NullSink::create(Pace pace)
{
    auto sink = std::shared_ptr<NullSink>(new NullSink());
    sink->setPace(pace);
    return sink;
}

} // namespace media
