#include "Platform/PDF/RendererFonts.h"

#include <atomic>
#include <cairo.h>
#include <dlfcn.h>
#include <malloc.h>
#include <mutex>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

// Recursive: FreeType's own entry points may call each other.
std::recursive_mutex& rendererFacesMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

// FreeType's own entry point of that name (the next definition after this
// program's).
template<typename Function> Function freetypeEntry(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

FT_Error FT_New_Memory_Face(FT_Library library, const FT_Byte* base, FT_Long size, FT_Long index, FT_Face* face)
{
    static auto next = freetypeEntry<decltype(&FT_New_Memory_Face)>("FT_New_Memory_Face");
    std::lock_guard lock(rendererFacesMutex());
    return next(library, base, size, index, face);
}

FT_Error FT_New_Face(FT_Library library, const char* path, FT_Long index, FT_Face* face)
{
    static auto next = freetypeEntry<decltype(&FT_New_Face)>("FT_New_Face");
    std::lock_guard lock(rendererFacesMutex());
    return next(library, path, index, face);
}

FT_Error FT_Open_Face(FT_Library library, const FT_Open_Args* args, FT_Long index, FT_Face* face)
{
    static auto next = freetypeEntry<decltype(&FT_Open_Face)>("FT_Open_Face");
    std::lock_guard lock(rendererFacesMutex());
    return next(library, args, index, face);
}

FT_Error FT_Reference_Face(FT_Face face)
{
    static auto next = freetypeEntry<decltype(&FT_Reference_Face)>("FT_Reference_Face");
    std::lock_guard lock(rendererFacesMutex());
    return next(face);
}

FT_Error FT_Done_Face(FT_Face face)
{
    static auto next = freetypeEntry<decltype(&FT_Done_Face)>("FT_Done_Face");
    std::lock_guard lock(rendererFacesMutex());
    return next(face);
}

} // extern "C"

namespace pdf::detail {

bool rendererFacesGuarded()
{
    static const bool guarded = [] {
        struct Entry {
            const char* name;
            void* own;
        };
        const Entry entries[] = {
            { "FT_New_Memory_Face", reinterpret_cast<void*>(&FT_New_Memory_Face) },
            { "FT_New_Face", reinterpret_cast<void*>(&FT_New_Face) },
            { "FT_Open_Face", reinterpret_cast<void*>(&FT_Open_Face) },
            { "FT_Reference_Face", reinterpret_cast<void*>(&FT_Reference_Face) },
            { "FT_Done_Face", reinterpret_cast<void*>(&FT_Done_Face) },
        };
        for (const Entry& entry : entries) {
            if (dlsym(RTLD_DEFAULT, entry.name) != entry.own)
                return false;
        }
        return true;
    }();
    return guarded;
}

void releaseHeldFonts()
{
    // Making and letting go as many fonts never made before, and one more,
    // pushes them all out (the font made last is kept apart, held until the
    // next is made): tiny ones of a face of no glyphs, each of a size of its
    // own.
    constexpr int kHeldFonts = 256 + 1;
    static std::atomic<uint64_t> made = 0;
    cairo_font_face_t* face = cairo_user_font_face_create();
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    for (int n = 0; n < kHeldFonts; ++n) {
        cairo_matrix_t size;
        cairo_matrix_init_scale(&size, double(++made), 1);
        cairo_scaled_font_destroy(cairo_scaled_font_create(face, &size, &identity, options));
    }
    cairo_font_options_destroy(options);
    cairo_font_face_destroy(face);
    // What the allocator kept of them goes back to the system.
    malloc_trim(0);
}

} // namespace pdf::detail
