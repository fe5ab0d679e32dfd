// The font configuration library keeps caches for the life of the process,
// and the renderer loses a few cairo objects on some damaged pages (its
// allocations made inside cairo show no renderer frame when unwound fast):
// the leak checker is told not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpoppler.so\nleak:libpoppler-glib.so\nleak:libcairo.so\n";
}
