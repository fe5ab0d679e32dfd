// The font configuration library and Pango keep their caches for the life
// of the process (the screens' tests set real text), and the PDF page
// renderer keeps a few cairo objects it made: the leak checker of the
// viewers' test program is told not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangocairo-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libharfbuzz.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
           "leak:libpoppler.so\nleak:libpoppler-glib.so\nleak:libcairo.so\n";
}
