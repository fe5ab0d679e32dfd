#include "Platform/PDF/RendererFonts.h"

#include <dlfcn.h>
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

} // namespace pdf::detail
