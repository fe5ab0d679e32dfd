// GTK, GLib, WebKit and the font libraries keep caches and type data for
// the life of the process: the leak checker is told not to count them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangocairo-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libharfbuzz.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgio-2.0.so\n"
           "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libwebkit2gtk-4.1.so\nleak:libjavascriptcoregtk-4.1.so\n"
           "leak:libsoup-3.0.so\nleak:libX11.so\nleak:libcairo.so\nleak:libatk-1.0.so\nleak:libatk-bridge-2.0.so\n"
           "leak:libepoxy.so\nleak:libgdk_pixbuf-2.0.so\n";
}
