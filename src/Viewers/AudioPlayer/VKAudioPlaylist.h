#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKFileResource;

// The audio player's playlist: the folder's audio files, the order they
// play in (the list itself, or with shuffle the current track first and the
// others mixed, kept as they are when only two others remain), and where
// previous, next and the end of a track go under the repeat mode. The
// order is made on demand and dropped whenever the list, the track or the
// setting changes; a deletion or move in the track's folder marks the list
// to be gathered afresh. The screen owns it and says which track is
// current; it knows nothing of the screen.
class VKAudioPlaylist {
public:
    using Resources = std::vector<std::shared_ptr<VKFileResource>>;
    // The repeat modes ("VKAudioRepeatMode").
    enum RepeatMode { RepeatOff = 0, RepeatAll = 1, RepeatTrack = 2, SingleTrack = 3 };

    // Where a step through the list goes: close the screen, open
    // `resource`, back to the track's start, or stay.
    struct Step {
        enum Kind { Close, Open, Restart, Stay } kind = Close;
        std::shared_ptr<VKFileResource> resource;
    };

    static bool sameResource(const std::shared_ptr<VKFileResource>& a, const std::shared_ptr<VKFileResource>& b);
    static std::ptrdiff_t indexOf(const Resources& list, const std::shared_ptr<VKFileResource>& resource);

    const Resources& resources() const { return m_resources; }
    void setResources(const Resources& resources);
    bool needsRebuild() const { return m_needsRebuild; }
    // Gathers the audio files of the current track's folder when marked
    // and `allowed`, and clears the mark. Answers the first of them when
    // the current file is gone.
    std::shared_ptr<VKFileResource> rebuildIfNeeded(const VKFileResource* current, bool allowed);
    // Adds a file the folder does not list (sorted by base name, numeric
    // and case-insensitive, unless shuffled); answers whether it did.
    bool addIfMissing(const std::shared_ptr<VKFileResource>& resource, bool shuffle);
    void dropOrder();
    // A deletion or move that touches the current track's folder.
    void itemWillBeDeleted(const std::optional<std::string>& path, const VKFileResource* current);
    void itemDidMove(const std::optional<std::string>& oldPath, const std::optional<std::string>& newPath,
        const VKFileResource* current);

    // The playing order; the list must have been rebuilt first.
    const Resources& order(const std::shared_ptr<VKFileResource>& current, bool shuffle);
    std::shared_ptr<VKFileResource> next(const std::shared_ptr<VKFileResource>& current, bool shuffle);
    std::shared_ptr<VKFileResource> previous(const std::shared_ptr<VKFileResource>& current, bool shuffle);

    // Next and previous from a button (`byButton`) or from the remote
    // control and the end of a track, and the end of a track itself
    // (Restart plays it again, anything else goes on as next). `current`
    // is asked only when the list decides, after the screen rebuilt it.
    using Current = std::function<std::shared_ptr<VKFileResource>()>;
    Step stepNext(const Current& current, bool shuffle, int mode, bool byButton);
    Step stepPrevious(const Current& current, bool shuffle, int mode, bool byButton);
    Step stepAtEnd(const Current& current, bool shuffle, int mode);

private:
    void markForRebuild();

    Resources m_resources;
    Resources m_order;
    bool m_orderValid = false;
    bool m_needsRebuild = false;
};
