// The font configuration library and Pango keep their caches for the life
// of the process (the screens' tests set real text), and the PDF page
// renderer keeps a few cairo objects it made, and GTK and WebKit (the web
// viewer's tests) keep type data and caches: the leak checker of the
// viewers' test program is told not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangocairo-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libharfbuzz.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
           "leak:libpoppler.so\nleak:libpoppler-glib.so\nleak:libcairo.so\n"
           "leak:libgio-2.0.so\nleak:libgtk-3.so\nleak:libgdk-3.so\nleak:libwebkit2gtk-4.1.so\n"
           "leak:libjavascriptcoregtk-4.1.so\nleak:libsoup-3.0.so\nleak:libX11.so\nleak:libatk-1.0.so\n"
           "leak:libatk-bridge-2.0.so\nleak:libepoxy.so\nleak:libgdk_pixbuf-2.0.so\n";
}
