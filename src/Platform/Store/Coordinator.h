#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Store/Schema.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace store {

class Connection;

// The one owner of a store file in the process: it opens the file for a
// schema and makes it usable before any context reads it, and it hands out
// object IDs to every context (and so thread) working on the file.
//
// Opening checks the file and mends what it can:
// - a missing file is made: the schema's tables and indexes, its version in
//   PRAGMA user_version, WAL journal;
// - an older version is brought up by the schema's steps, each one
//   transaction with its version bump, so a run killed midway leaves the
//   file at the last whole step;
// - a file that is damaged or not ours (not a database, quick_check not
//   "ok", tables missing or without our columns) is moved aside as
//   "<name>.corrupt" (with "-wal" and "-shm" as "<name>.corrupt-wal" …) and
//   a fresh store takes its place;
// - rows whose parent is missing are removed (cascading to theirs), logged;
// - a file of a newer version, or one that no step brings up, is never
//   written: the run uses a fresh scratch file in the home's tmp/ instead
//   (logged).
class Coordinator : public core::Object {
public:
    // Nothing (with the error) only when not even a fresh store could be
    // made, in the file's folder or in tmp/.
    static std::shared_ptr<Coordinator> open(const std::string& path, Schema schema, core::Error* error = nullptr);
    ~Coordinator() override;

    // The file the objects live in: the given path, or the scratch file.
    const std::string& path() const { return m_path; }
    bool isScratch() const { return m_isScratch; }
    const std::shared_ptr<const Schema>& schema() const { return m_schema; }

    // A new permanent ID: one counter for the whole process, started above
    // the largest ID in the file.
    int64_t newObjectID() { return m_nextID.fetch_add(1); }

    // A connection of its own for a context (throws store::Failure).
    std::unique_ptr<Connection> openConnection() const;

    std::string description() const override;

    struct Private;
    Coordinator(const Private&, std::string path, bool isScratch, std::shared_ptr<const Schema> schema, int64_t nextID);

private:
    std::string m_path;
    bool m_isScratch;
    std::shared_ptr<const Schema> m_schema;
    std::atomic<int64_t> m_nextID;
};

} // namespace store
