// Watches what a thread does while it is inside the plug-in's audio calls. The validator's
// executable defines the C library's heap, lock, sleep and file functions itself; the plug-in's
// calls bind to these first (an executable comes first in the symbol search order), which count
// the call when the calling thread is being watched and then forward to the C library.
#pragma once

namespace brakka_validate {

enum WatchedKind { kHeap, kLock, kSleep, kFile, kNumWatchedKinds };

struct WatchCounts {
    long calls[kNumWatchedKinds] = {};
    long total() const { return calls[kHeap] + calls[kLock] + calls[kSleep] + calls[kFile]; }
    void add(const WatchCounts& other) {
        for (int k = 0; k < kNumWatchedKinds; ++k)
            calls[k] += other.calls[k];
    }
};

// Marks the calling thread as watched (nestable) or no longer.
void watchBegin();
void watchEnd();

// Counts of all threads since the last reset.
WatchCounts watchCounts();
void resetWatchCounts();

// True when the plug-in's calls reach the interposed functions (checked once by calling malloc
// through a pointer the dynamic linker resolved).
bool interposerActive();

} // namespace brakka_validate
