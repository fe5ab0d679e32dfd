#include "Platform/Media/Movie/MovieEngine.h"

#include "Platform/Media/Movie/GStreamerMovieEngine.h"

namespace media {

namespace {

MovieEngine::Factory& factory()
{
    static MovieEngine::Factory factory;
    return factory;
}

} // namespace

void MovieEngine::setFactory(Factory newFactory)
{
    factory() = std::move(newFactory);
}

std::unique_ptr<MovieEngine> MovieEngine::make()
{
    if (factory())
        return factory()();
    return std::make_unique<GStreamerMovieEngine>();
}

} // namespace media
