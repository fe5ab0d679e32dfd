// The font configuration library and Pango keep their caches for the life
// of the process (the screens' tests set real text), and so do WebKit's
// libraries (the browser's WebKit tests): the leak checker of the browser's
// test program is told not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangocairo-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libharfbuzz.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
           "leak:libjavascriptcoregtk-4.1.so\nleak:libwebkit2gtk-4.1.so\n";
}
