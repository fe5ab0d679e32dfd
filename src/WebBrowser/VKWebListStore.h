#pragma once

// What the history and the bookmarks stores share: a list of items read
// from their file at first use, saved on the application's leaving events,
// and let go on a memory warning once it is safely saved (the next use
// reads it again). A subclass names the file and turns entries into items.

#include "Platform/Core/Log.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/Value.h"
#include "WebBrowser/VKWebListFile.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

template<typename Item> class VKWebListStore : public core::Object {
public:
    bool isLoaded() const { return m_items.has_value(); }

protected:
    // `what` names the store in log lines; `failure` is the log line of a
    // failed save, before the path.
    VKWebListStore(std::string what, std::string failure) : m_what(std::move(what)), m_failure(std::move(failure)) { }

    virtual std::string itemsPath() const = 0;
    // The list when no usable file is there.
    virtual std::optional<core::Value::Array> fallbackEntries() { return std::nullopt; }
    // The list as read, before it is kept.
    virtual void trimLoadedItems(std::vector<Item>&) { }

    std::vector<Item>& items()
    {
        if (!m_items) {
            auto entries = VKWebListFile::readArray(itemsPath(), m_what);
            if (!entries)
                entries = fallbackEntries();
            m_items = entries ? VKWebListFile::itemsOf<Item>(*entries, m_what, Item::fromDictionary) : std::vector<Item>();
            trimLoadedItems(*m_items);
        }
        return *m_items;
    }

    bool saveItems()
    {
        core::Value::Array entries;
        const auto& list = items();
        entries.reserve(list.size());
        for (const auto& item : list)
            entries.push_back(item.dictionary());
        std::string path = itemsPath();
        if (VKWebListFile::writeArray(path, entries))
            return true;
        core::log("{}{}", m_failure, path);
        return false;
    }

    void saveIfLoaded()
    {
        if (isLoaded())
            saveItems();
    }

    // A list that could not be saved stays: letting it go would lose it.
    void memoryWarning()
    {
        if (isLoaded() && saveItems())
            m_items.reset();
    }

    template<typename Store> static void observeApplication(const std::shared_ptr<Store>& store)
    {
        std::weak_ptr<Store> weak = store;
        static_cast<VKWebListStore&>(*store).m_observations = VKWebListFile::observeApplication(
            [weak] {
                if (auto strong = weak.lock())
                    strong->applicationWillTerminateOrEnterBackground();
            },
            [weak] {
                if (auto strong = weak.lock())
                    strong->didReceiveMemoryWarning();
            });
    }

private:
    std::string m_what;
    std::string m_failure;
    std::optional<std::vector<Item>> m_items;
    std::vector<core::Observation> m_observations;
};
