#pragma once

#include <cstdint>

// The state of one network transfer, shared by downloads and cloud uploads
// (an upload keeps it as its mirror node's `uploadState`). The numbers are
// stored, so they never change.
//
// Downloads use None, Waiting, Connecting, Downloading, Finalizing, Paused,
// Done and Failed; uploads use None, Checking, Waiting, Uploading,
// Finalizing, Paused and Failed, and count Connecting among their running
// states.
enum VKNetworkState : int32_t {
    // New, reset, or no transfer.
    VKNetworkStateNone = 0,
    // An upload whose existence check on the service is pending.
    VKNetworkStateChecking = 1,
    // Queued behind the running transfers.
    VKNetworkStateWaiting = 2,
    VKNetworkStateConnecting = 3,
    VKNetworkStateDownloading = 4,
    VKNetworkStateUploading = 5,
    // The data is in; the file is being copied into place.
    VKNetworkStateFinalizing = 6,
    // Stopped by the user, cancelled, connection lost, or restored at launch.
    VKNetworkStatePaused = 7,
    VKNetworkStateDone = 8,
    VKNetworkStateFailed = 9,
};
