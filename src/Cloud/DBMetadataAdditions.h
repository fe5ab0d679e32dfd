#pragma once

#include <memory>
#include <string>
#include <string_view>

class DBMetadata;

// What the cloud layer asks of a listing record beyond its fields.

// "/" for a record without a path, else the last component of its path.
std::string metadataName(const DBMetadata& metadata);
// The first entry of the record's contents whose name equals `name`
// exactly; nothing when there is none (or no contents).
std::shared_ptr<const DBMetadata> metadataChildWithName(const DBMetadata& metadata, std::string_view name);
