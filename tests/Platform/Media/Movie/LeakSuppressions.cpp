// GStreamer keeps its registry, plugins and type caches for the life of the
// process: the leak checker of the movie tests is told not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libgstreamer-1.0.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstbase-1.0.so\n"
           "leak:libgstpbutils-1.0.so\nleak:libgstvideo-1.0.so\nleak:libgstaudio-1.0.so\nleak:libgsttag-1.0.so\n"
           "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangocairo-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libharfbuzz.so\nleak:libcairo.so\nleak:libopenh264\nleak:libavcodec\nleak:libgstlibav\n"
           "leak:libgstplayback\nleak:libgstisomp4\nleak:libgsttypefindfunctions\n";
}
