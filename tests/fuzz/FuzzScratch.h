#pragma once

// A scratch folder for targets that need files: on tmpfs (/dev/shm) where
// there is one, so that writing every input costs no disk, and removed when
// the program ends.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzz {

inline const std::string& scratchFolder()
{
    static const std::string folder = [] {
        std::error_code error;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, error) || access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path();
        std::string pattern = (base / "tandry-fuzz.XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        static std::string made;
        made = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return pattern;
    }();
    return folder;
}

} // namespace fuzz
