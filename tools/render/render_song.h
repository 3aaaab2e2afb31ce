// What the renderer plays: one pattern for a number of bars, or a song of pattern runs, laid out
// on the bar grid the way the plug-in switches patterns.
#pragma once

#include <string>
#include <vector>

namespace brakka_render {

// One entry of a song list: a pattern (1..16, as users number them) played `times` times.
struct SongEntry {
    int pattern = 1;
    int times = 1;
};

// Parses "1x4,2x2,16x1" (spaces allowed around the items, "x" or "X"; a bare "3" means 3x1).
// Returns false and sets `error` for an empty list, a pattern outside 1..16, a repeat count
// outside 1..9999 or anything else that is not such a list.
bool parseSong(const std::string& text, std::vector<SongEntry>& song, std::string& error);

// One run of a pattern on the timeline, in whole bars from the start of the render.
struct PatternRun {
    int pattern = 1; // 1..16
    long startBar = 0;
    long endBar = 0; // exclusive
};

// Lays a song out in bars. `patternBars(p)` is the length of pattern p in bars (1 or 2).
//
// The plug-in keeps its patterns on the bar grid: a queued pattern takes over when the playing
// one returns to its step 0, and a two-bar pattern that enters on an odd bar starts in its second
// half. So a run of pattern P (length L) that starts at bar b ends at the times-th multiple of L
// after b; when b is a multiple of L that is simply b + times * L, otherwise the first pass is a
// partial one.
std::vector<PatternRun> layoutSong(const std::vector<SongEntry>& song,
                                   const std::vector<int>& patternBars);

} // namespace brakka_render
