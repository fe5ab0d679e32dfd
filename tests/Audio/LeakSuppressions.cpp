// Sound the stream engine cannot read plays through GStreamer, which keeps
// its registry, plugins and type caches for the life of the process: the
// leak checker of the audio tests is told not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libgstreamer-1.0.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstbase-1.0.so\n"
           "leak:libgstpbutils-1.0.so\nleak:libgstaudio-1.0.so\nleak:libgsttag-1.0.so\nleak:libgstplayback\n"
           "leak:libgsttypefindfunctions\nleak:libgstogg\nleak:libgstvorbis\nleak:libgstflac\nleak:libgstmatroska\n";
}
