#pragma once

// Documents made by make_large_rtf.py, which sits beside this file, once per
// size and process.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

inline std::string generated(double megabytes)
{
    static std::map<double, std::string> documents;
    auto found = documents.find(megabytes);
    if (found != documents.end())
        return found->second;
    std::filesystem::path script = std::filesystem::path(TANDRY_SOURCE_DIR) / "bench/rtf/make_large_rtf.py";
    std::filesystem::path output = std::filesystem::temp_directory_path() / ("tandry-bench-" + std::to_string(megabytes) + ".rtf");
    std::string command = "python3 '" + script.string() + "' " + std::to_string(megabytes) + " '" + output.string() + "'";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "cannot run %s\n", command.c_str());
        std::exit(1);
    }
    std::ifstream in(output, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(output);
    return documents[megabytes] = bytes;
}
