// fuzz: tandry_filemodel
// Archives are outside input: any bytes must list and extract, with and
// without a password, without crashing, and nothing may land outside the
// destination folder.

#include "FuzzScratch.h"

#include "FileModel/VKZipUnarchiver.h"

#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    const std::string& work = fuzz::scratchFolder();
    const std::string archive = work + "/input.zip";
    const std::string destination = work + "/out/inner";
    core::fs::writeFileAtomically(archive, std::string_view(reinterpret_cast<const char*>(data), size));

    for (int pass = 0; pass < 2; ++pass) {
        auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
        if (!unarchiver)
            break;
        if (pass == 1)
            unarchiver->setPassword(std::string("secret"));
        const uint64_t count = unarchiver->numberOfEntries();
        for (uint64_t i = 0; i < count && i < 64; ++i)
            unarchiver->nameOfEntryAtIndex(i);
        unarchiver->uncompressedSize();
        unarchiver->isEncrypted();
        core::fs::createDirectory(destination, true);
        unarchiver->unarchiveToPath(destination);
        // Nothing beside the destination.
        auto beside = core::fs::contentsOfDirectory(work + "/out");
        if (!beside || beside->size() != 1)
            abort();
        VKRemoveItemAtPath(work + "/out");
    }
    VKRemoveItemAtPath(archive);
    quiet.clear();
    return 0;
}
