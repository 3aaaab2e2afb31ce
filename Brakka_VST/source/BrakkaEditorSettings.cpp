#include "BrakkaEditorSettings.h"

#include "MIDIMapFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A decimal number "12" or "1.5" filling [p, end) apart from blanks around it; -1 otherwise.
double parseDecimal(const char* p, const char* end) {
    while (p < end && isBlank(*p))
        ++p;
    while (end > p && isBlank(end[-1]))
        --end;
    double value = 0;
    bool digits = false;
    for (; p < end && *p >= '0' && *p <= '9' && value < 1e6; ++p, digits = true)
        value = value * 10 + (*p - '0');
    if (p < end && *p == '.') {
        double place = 0.1;
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p, place /= 10, digits = true)
            value += (*p - '0') * place;
    }
    return (digits && p == end) ? value : -1;
}

} // namespace

constexpr double BrakkaEditorSettings::kZooms[];

double BrakkaEditorSettings::nearestZoom(double zoom) {
    if (!(zoom > 0)) return 1;
    double best = kZooms[0];
    for (double z : kZooms)
        if (std::fabs(z - zoom) < std::fabs(best - zoom)) best = z;
    return best;
}

double BrakkaEditorSettings::zoomFromScaleValue(const char* value) {
    if (!value) return 1;
    double scale = parseDecimal(value, value + std::strlen(value));
    return scale > 0 ? nearestZoom(scale) : 1;
}

double BrakkaEditorSettings::zoomFromText(const char* text, size_t length, double fallback) {
    if (!text) return fallback;
    double zoom = -1;
    const char* end = text + length;
    for (const char* line = text; line < end;) {
        const char* stop = static_cast<const char*>(std::memchr(line, '\n', (size_t)(end - line)));
        if (!stop) stop = end;
        const char* p = line;
        line = stop + 1;
        while (p < stop && isBlank(*p))
            ++p;
        if (p == stop) continue; // an empty line
        const char* key = p;
        while (p < stop && *p >= 'a' && *p <= 'z')
            ++p;
        if (p == key || p == stop || !isBlank(*p)) return 1; // not "key value"
        if (p - key != 4 || std::strncmp(key, "zoom", 4) != 0) continue;
        double percent = parseDecimal(p, stop);
        bool supported = false;
        for (double z : kZooms)
            supported = supported || percent == z * 100;
        if (!supported) return 1;
        zoom = percent / 100;
    }
    return zoom > 0 ? zoom : fallback;
}

double BrakkaEditorSettings::loadZoom() {
    double fallback = zoomFromScaleValue(std::getenv("GDK_SCALE"));
    std::string path;
    int err = GetMIDIFileSpec(path, kFileName, false);
    if (err == ENOENT) return fallback;
    if (err != 0) return 1;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? fallback : 1;
    char buffer[4096];
    size_t got = 0;
    while (got < sizeof buffer) {
        ssize_t n = read(fd, buffer + got, sizeof buffer - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return 1;
        }
        if (n == 0) break;
        got += (size_t)n;
    }
    close(fd);
    return zoomFromText(buffer, got, fallback);
}

bool BrakkaEditorSettings::saveZoom(double zoom) {
    char text[32];
    int n = std::snprintf(text, sizeof text, "zoom %ld\n", std::lround(nearestZoom(zoom) * 100));
    return SaveMIDIMapText(kFileName, text, (size_t)n);
}
