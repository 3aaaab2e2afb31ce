#include "render_song.h"

#include <cctype>

namespace brakka_render {

namespace {

// Reads an unsigned decimal number of at most 6 digits at text[i]; advances i.
bool readNumber(const std::string& text, size_t& i, long& value) {
    size_t digits = 0;
    value = 0;
    while (i < text.size() && std::isdigit((unsigned char)text[i])) {
        if (++digits > 6) return false;
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    return digits > 0;
}

void skipSpaces(const std::string& text, size_t& i) {
    while (i < text.size() && std::isspace((unsigned char)text[i]))
        ++i;
}

} // namespace

bool parseSong(const std::string& text, std::vector<SongEntry>& song, std::string& error) {
    song.clear();
    size_t i = 0;
    for (;;) {
        skipSpaces(text, i);
        long pattern = 0, times = 1;
        if (!readNumber(text, i, pattern)) {
            error = "expected a pattern number at position " + std::to_string(i + 1);
            return false;
        }
        skipSpaces(text, i);
        if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
            ++i;
            skipSpaces(text, i);
            if (!readNumber(text, i, times)) {
                error = "expected a repeat count at position " + std::to_string(i + 1);
                return false;
            }
            skipSpaces(text, i);
        }
        if (pattern < 1 || pattern > 16) {
            error = "pattern " + std::to_string(pattern) + " does not exist (1..16)";
            return false;
        }
        if (times < 1 || times > 9999) {
            error = "repeat count " + std::to_string(times) + " is outside 1..9999";
            return false;
        }
        song.push_back({(int)pattern, (int)times});
        if (i == text.size()) return true;
        if (text[i] != ',') {
            error =
                std::string("unexpected '") + text[i] + "' at position " + std::to_string(i + 1);
            return false;
        }
        ++i;
    }
}

std::vector<PatternRun> layoutSong(const std::vector<SongEntry>& song,
                                   const std::vector<int>& patternBars) {
    std::vector<PatternRun> runs;
    long bar = 0;
    for (const SongEntry& e : song) {
        long length = 1;
        if (e.pattern >= 1 && (size_t)e.pattern <= patternBars.size())
            length = patternBars[e.pattern - 1] > 1 ? patternBars[e.pattern - 1] : 1;
        const long firstEnd = (bar / length + 1) * length;
        PatternRun run;
        run.pattern = e.pattern;
        run.startBar = bar;
        run.endBar = firstEnd + (long)(e.times - 1) * length;
        runs.push_back(run);
        bar = run.endBar;
    }
    return runs;
}

} // namespace brakka_render
