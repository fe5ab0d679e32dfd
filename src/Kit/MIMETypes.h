#pragma once

#include <string>

// The MIME type of a file and the document-package test. The server answers
// Content-Type with the type; the file model, the viewer choice and the
// browser hand-off classify files by it, so the table (the bundle resource
// "MIMETypes.plist", read once) decides which viewer opens a file.

// The type for the path's extension (ASCII case folded). Without a known
// extension the start of a regular file is looked at: UTF-8 text holding a
// line break is "text/plain"; otherwise an executable file is
// "application/octet-stream" and everything else (an executable folder, a
// missing path, a FIFO) "unknown". Never blocks and never fails.
std::string MIMEGetTypeForFile(const std::string& path);
// The same for the file at `path` that `fd` holds open already: its start is
// read through the descriptor (pread, its offset untouched), not opened again.
std::string MIMEGetTypeForOpenFile(const std::string& path, int fd);
// The type the table gives the name's extension, "unknown" when it has none
// there; the disk is never looked at (names that are not files, such as the
// last component of a web address).
std::string MIMEGetTypeForExtension(const std::string& name);

// Whether the path's extension names a document package ("rtfd", "key"...).
bool MIMEIsPackageType(const std::string& path);

// Drops the loaded table, so that the next lookup reads the main bundle's
// again (tests that swap the bundle).
void MIMEReloadTypesForTesting();
