#include "MIDIMapFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool isAbsolute(const char* p) {
    return p != nullptr && p[0] == '/';
}

// The user's configuration folder: $XDG_CONFIG_HOME, else $HOME/.config, else the home folder
// of the password database followed by /.config. A relative XDG_CONFIG_HOME or HOME is not
// used: it would make the file's place depend on the host's working folder.
std::string configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (isAbsolute(xdg)) return xdg;
    std::string home;
    const char* env = std::getenv("HOME");
    if (isAbsolute(env)) {
        home = env;
    } else {
        long size = sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
        struct passwd pw;
        struct passwd* found = nullptr;
        if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
            isAbsolute(found->pw_dir))
            home = found->pw_dir;
    }
    if (home.empty()) return std::string();
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home == "/" ? std::string("/.config") : home + "/.config";
}

// Creates every missing folder of path (like mkdir -p). Returns 0 or an errno.
int makeFolders(const std::string& path, mode_t mode) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        std::string prefix = path.substr(0, i);
        if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return errno;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool isSeparator(char c) {
    return c == ' ' || c == '\n' || c == '\r';
}

// atoi over [begin, end) without its undefined overflow: leading white space, an optional
// sign, then digits as far as they go; values beyond the int range saturate; no digits give 0.
int toInt(const char* begin, const char* end) {
    const char* p = begin;
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

bool writeAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string GetMIDIMapFolder() {
    std::string base = configHome();
    return base.empty() ? base : base + "/" + kMIDIMapFolderName;
}

int GetMIDIFileSpec(std::string& path, const char* fileName, bool create) {
    path.clear();
    if (fileName == nullptr || fileName[0] == '\0' || std::strchr(fileName, '/') != nullptr)
        return EINVAL;
    std::string base = configHome();
    if (base.empty()) return ENOENT;
    // The configuration folder is private to the user; the vendor folder takes usual rights.
    if (int err = makeFolders(base, 0700)) return err;
    std::string folder = base + "/" + kMIDIMapFolderName;
    if (int err = makeFolders(folder, 0755)) return err;
    path = folder + "/" + fileName;

    struct stat st;
    if (stat(path.c_str(), &st) == 0) return 0;
    if (errno != ENOENT) return errno;
    if (!create) return ENOENT;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    close(fd);
    return 0;
}

void ParseMIDIMap(const char* text, size_t length, std::multimap<char, int>& map) {
    if (text == nullptr) return;
    if (length > kMIDIMapMaxFileBytes) length = kMIDIMapMaxFileBytes;
    // The text ends at its first zero byte, as a C string would.
    const void* zero = std::memchr(text, '\0', length);
    const char* end = zero ? static_cast<const char*>(zero) : text + length;

    bool haveTag = false;
    int tag = 0;
    const char* p = text;
    while (p < end) {
        while (p < end && isSeparator(*p))
            ++p;
        if (p == end) break;
        const char* token = p;
        while (p < end && !isSeparator(*p))
            ++p;
        int value = toInt(token, p);
        if (!haveTag) {
            tag = value;
            haveTag = true;
            continue;
        }
        haveTag = false;
        if (value == -1) continue;
        // multimap::insert puts a new entry after existing entries of the same key.
        map.insert(std::make_pair(static_cast<char>(value & 0xff), tag));
    }
}

void LoadMIDIMap(const char* fileName, std::multimap<char, int>& map) {
    std::string path;
    if (GetMIDIFileSpec(path, fileName, false) != 0) return;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buffer[kMIDIMapMaxFileBytes + 1];
    size_t got = 0;
    bool failed = false;
    while (got < kMIDIMapMaxFileBytes) {
        ssize_t n = read(fd, buffer + got, kMIDIMapMaxFileBytes - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (failed) return;
    buffer[got] = '\0';
    ParseMIDIMap(buffer, got, map);
}

size_t FormatMIDIMap(const std::multimap<char, int>& map, char* dst, size_t capacity) {
    size_t total = 0;
    for (const auto& entry : map) {
        char line[32];
        int n = std::snprintf(line, sizeof line, "%d %d\n", entry.second,
                              static_cast<int>(entry.first));
        if (n <= 0) continue;
        size_t len = static_cast<size_t>(n);
        if (dst != nullptr && total + 1 < capacity) {
            size_t room = capacity - 1 - total;
            std::memcpy(dst + total, line, len < room ? len : room);
        }
        total += len;
    }
    if (dst != nullptr && capacity > 0) dst[total < capacity ? total : capacity - 1] = '\0';
    return total;
}

bool SaveMIDIMapText(const char* fileName, const char* text, size_t length) {
    if (text == nullptr && length > 0) return false;
    std::string path;
    int err = GetMIDIFileSpec(path, fileName, false);
    if (err != 0 && err != ENOENT) return false;
    if (path.empty()) return false;

    // Write the new contents beside the file, make them durable, then swap them in with one
    // rename: readers see either the whole old file or the whole new one.
    std::string temp = path + ".XXXXXX";
    int fd = mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = writeAll(fd, text, length) && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    std::string folder = path.substr(0, path.rfind('/'));
    int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

bool SaveMIDIMap(const char* fileName, std::multimap<char, int> map) {
    std::vector<char> text(FormatMIDIMap(map, nullptr, 0) + 1);
    size_t length = FormatMIDIMap(map, text.data(), text.size());
    return SaveMIDIMapText(fileName, text.data(), length);
}
