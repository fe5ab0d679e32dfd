// The font configuration library keeps caches for the life of the process;
// the leak checker is told so, as it cannot tell them from leaks.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpoppler.so\n";
}
