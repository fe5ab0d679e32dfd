#include "WebBrowser/VKWebListFile.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/UI/Application.h"

#include <fmt/format.h>

#include <algorithm>

namespace VKWebListFile {

namespace {

// Keeps the damaged file under a name nothing else uses, never replacing an
// earlier one.
void moveAside(const std::string& path, std::string_view what)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string aside = attempt ? fmt::format("{}.corrupt-{}", path, attempt) : path + ".corrupt";
        core::Error error;
        if (core::fs::moveItem(path, aside, &error)) {
            core::log("{}: unreadable file moved aside to {}", what, aside);
            return;
        }
        if (!core::fs::exists(aside))
            break;
    }
    core::log("{}: unreadable file {} could not be moved aside", what, path);
}

} // namespace

std::optional<core::Value::Array> readArray(const std::string& path, std::string_view what)
{
    bool isDirectory = false;
    if (!core::fs::exists(path, &isDirectory) || isDirectory)
        return std::nullopt;
    core::Value list = core::PropertyList::readFile(path);
    if (list.isArray())
        return list.array();
    moveAside(path, what);
    return std::nullopt;
}

bool writeArray(const std::string& path, const core::Value::Array& items)
{
    return core::PropertyList::writeFile(path, core::Value(items), core::PropertyList::Format::Binary);
}

std::vector<core::Observation> observeApplication(std::function<void()> save, std::function<void()> memoryWarning)
{
    auto& center = core::NotificationCenter::defaultCenter();
    std::vector<core::Observation> observations;
    for (const char* name : { ui::Application::willTerminateNotification, ui::Application::didEnterBackgroundNotification })
        observations.push_back(center.observe(name, nullptr, [save](const core::Notification&) { save(); }));
    observations.push_back(center.observe(ui::Application::didReceiveMemoryWarningNotification, nullptr,
        [memoryWarning = std::move(memoryWarning)](const core::Notification&) { memoryWarning(); }));
    return observations;
}

bool containsIgnoringCase(std::string_view text, std::string_view fragment)
{
    auto isASCII = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (isASCII(text) && isASCII(fragment)) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return std::search(text.begin(), text.end(), fragment.begin(), fragment.end(),
                   [&](char a, char b) { return lower(a) == lower(b); })
            != text.end();
    }
    return core::caseFolded(text).find(core::caseFolded(fragment)) != std::string::npos;
}

std::string singleLine(std::string_view text)
{
    std::string line;
    if (text.size() > MaximumShownLength) {
        // Cut on character boundaries: never inside a UTF-8 sequence.
        auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
        size_t head = MaximumShownLength / 2;
        while (head > 0 && isContinuation(text[head]))
            --head;
        size_t tail = text.size() - MaximumShownLength / 2;
        while (tail < text.size() && isContinuation(text[tail]))
            ++tail;
        line.append(text.substr(0, head)).append("\u2026").append(text.substr(tail));
    } else {
        line.assign(text);
    }
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return line;
}

void logDropped(size_t count, std::string_view what)
{
    core::log("{}: {} unusable {} dropped", what, count, count == 1 ? "entry" : "entries");
}

} // namespace VKWebListFile
