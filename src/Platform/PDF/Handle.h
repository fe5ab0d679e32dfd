#pragma once

// The common part of the handles on a document's objects: a reference to the
// open document (which a handle keeps alive) and the object itself. Copies
// are cheap and refer to the same object. Every access takes the document's
// lock, so handles of one document may be used from several threads.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace pdf {

namespace detail {
struct DocumentState;
struct DocumentSource;
struct HandleAccess;
}

// Names an object for as long as its document is open: the document, and the
// object and generation numbers of an indirect object, or the object's
// address when it is direct, with the reading of the file it lives in (see
// Document::readingsAliveForTesting; a later reading may hold another object at the
// same address). Hashable, so decoders can be cached by it.
struct Identity {
    uint64_t document = 0;
    int object = 0;
    int generation = 0;
    const void* direct = nullptr;
    uint64_t reading = 0;

    bool operator==(const Identity&) const = default;
};

class Handle {
public:
    Handle();
    Handle(const Handle& other);
    Handle(Handle&& other) noexcept;
    Handle& operator=(const Handle& other);
    Handle& operator=(Handle&& other) noexcept;
    ~Handle();

    // Whether the handle refers to an object at all.
    explicit operator bool() const { return m_valid; }

    Identity identity() const;

private:
    friend struct detail::HandleAccess;
    std::shared_ptr<detail::DocumentState> m_document;
    // A qpdf object handle, constructed in place by the implementation so
    // that no qpdf header is needed here.
    alignas(std::max_align_t) unsigned char m_object[16];
    bool m_valid = false;
};

} // namespace pdf

template<> struct std::hash<pdf::Identity> {
    size_t operator()(const pdf::Identity& identity) const noexcept
    {
        size_t h = std::hash<uint64_t>()(identity.document);
        h = h * 1000003u ^ std::hash<int64_t>()((int64_t(identity.object) << 20) ^ identity.generation);
        h = h * 1000003u ^ std::hash<const void*>()(identity.direct);
        return h * 1000003u ^ std::hash<uint64_t>()(identity.reading);
    }
};
