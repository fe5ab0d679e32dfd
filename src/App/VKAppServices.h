#pragma once

#include "Platform/Core/NotificationCenter.h"

#include <string>

class HTTPServer;

// What the layers below the application leave open, wired at launch and
// unwired at the end: the dates' locale, the trash, the descriptor limit,
// the cloud services and their mirror with the upload queue, the per-file
// settings and the download queue with its questions.
class VKAppServices {
public:
    // The dates' locale, the trash location and every descriptor the system
    // allows.
    static void prepare();
    // The cloud services (each makes its folder), then the mirror (filled by
    // a bootstrap when it needs one), and only then the file model's cloud
    // hooks and the upload queue, whose leftover uploads show paused.
    static void openCloudMirror();
    // The per-file settings and the trash opened, what earlier runs left in
    // the staging folder removed (on a thread of its own), the transfer questions
    // and the download queue wired (each unless already there) and the
    // downloads a previous run left restored.
    static void openFilesAndTransfers();
    // Thumbnails and content indexes of files that are gone.
    static void pruneCaches();
    // A file deleted over WebDAV loses its caches, bookmarks and settings;
    // the observation does so for each deletion the server announces.
    static void forgetItem(const std::string& path);
    static core::Observation observeDeletions();
    // Empties the temporary folder (what cannot go is logged).
    static void emptyTemporaryFolder();
    // The hooks of the cloud, upload and download queues and the transfer
    // questions let go.
    static void release();
    // A client connected to the server, or a download or upload running.
    static bool isNetworkActive(const HTTPServer* server);
};
