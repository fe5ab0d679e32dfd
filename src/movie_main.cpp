// tandry-movie: the movie process the program starts beside itself for
// each movie (MovieEngineServer; see src/Platform/Media/Movie/README.md).
// It links only what decoding needs, so it starts in a moment.

#include "Platform/Media/Movie/MovieEngineServer.h"

int main(int argc, char** argv)
{
    return media::MovieEngineServer::run(argc, argv);
}
