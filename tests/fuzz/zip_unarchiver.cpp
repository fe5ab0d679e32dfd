// fuzz: tandry_filemodel
// Archives are outside input: any bytes must list and extract, with and
// without a password, without crashing, and nothing may land outside the
// destination folder. The seeds hold entries sharing compressed data, zip64
// fields whose sizes lie, counts far beyond the records, bzip2 and encrypted
// entries.

#include "FuzzScratch.h"

#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKZipUnarchiver.h"

#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The application's home beside the extraction's folder; the volume is said
// to hold a gigabyte, so that a lying size is refused early.
const std::string& workFolder()
{
    static const std::string work = [] {
        const std::string& scratch = fuzz::scratchFolder();
        std::filesystem::create_directory(scratch + "/home");
        std::filesystem::create_directory(scratch + "/zip");
        core::paths::setHome(scratch + "/home");
        VKQuotaManager::setDefaultManagerForTesting(VKQuotaManager::create(scratch + "/home", scratch + "/home/Servers"));
        VKQuotaManager::setFreeSpaceFunctionForTesting(
            [](const std::string&) { return std::optional<uint64_t>(uint64_t(1) << 30); });
        return scratch + "/zip";
    }();
    return work;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    const std::string& work = workFolder();
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
        std::optional<std::string> first;
        for (uint64_t i = 0; i < count && i < 64; ++i) {
            auto name = unarchiver->nameOfEntryAtIndex(i);
            if (!first)
                first = name;
        }
        unarchiver->uncompressedSize();
        unarchiver->isEncrypted();
        core::fs::createDirectory(destination, true);
        unarchiver->unarchiveToPath(destination);
        if (first)
            unarchiver->unarchiveFile(*first, work + "/out/single");
        // Nothing beside the destination but the one entry asked for.
        auto beside = core::fs::contentsOfDirectory(work + "/out");
        auto around = core::fs::contentsOfDirectory(work);
        if (!beside || beside->empty() || beside->size() > 2 || !around || around->size() != 2)
            abort();
        VKRemoveItemAtPath(work + "/out");
    }
    VKRemoveItemAtPath(archive);
    quiet.clear();
    return 0;
}
