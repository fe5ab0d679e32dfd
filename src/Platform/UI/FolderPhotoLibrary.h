#pragma once

// The program's photo library for the image picker: one album per folder
// under the pictures folder that holds pictures or movies, the pictures
// folder itself first under its own name, the others by their path below it
// ("Holidays > 2023"). Hidden names and links are passed over, and the walk
// stops at 8 levels and 2,000 folders, so a link loop or a huge tree stays
// bounded. Pictures are known by their extension (the picker's pick
// decodes them), movies too; within an album names go in numeric order.
// Reads names (and each movie's size) only: nothing is decoded and nothing
// written. Any thread (the picker scans on a worker).

#include "Platform/UI/ImagePickerController.h"

#include <string>
#include <vector>

namespace ui {

class FolderPhotoLibrary {
public:
    static constexpr int MaximumDepth = 8;
    static constexpr size_t MaximumFolders = 2000;
    // Entries looked at in all, so a folder of millions ends the walk.
    static constexpr size_t MaximumEntries = 200000;

    static std::vector<ImagePickerController::Album> scan(const std::string& picturesFolder);
    // Makes the pictures folder (PicturesFolder) the picker's library.
    static void install();
    static bool isImageName(std::string_view name);
    static bool isMovieName(std::string_view name);
};

} // namespace ui
