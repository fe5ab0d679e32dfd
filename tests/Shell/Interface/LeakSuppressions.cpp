// The font configuration library and Pango keep their font caches for the
// life of the process: the leak checker is told not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangocairo-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libharfbuzz.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n";
}
