#include "render_files.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brakka_render {

namespace {

uint32_t readBE32(const uint8_t* p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

constexpr uint32_t fourCC(const char (&s)[5]) {
    return ((uint32_t)(uint8_t)s[0] << 24) | ((uint32_t)(uint8_t)s[1] << 16) |
           ((uint32_t)(uint8_t)s[2] << 8) | (uint32_t)(uint8_t)s[3];
}

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

void putBE32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back((uint8_t)(v >> 24));
    out.push_back((uint8_t)(v >> 16));
    out.push_back((uint8_t)(v >> 8));
    out.push_back((uint8_t)v);
}

void putVarLen(std::vector<uint8_t>& out, uint64_t v) {
    uint8_t buffer[10];
    int n = 0;
    buffer[n++] = (uint8_t)(v & 0x7F);
    while ((v >>= 7) != 0 && n < 10)
        buffer[n++] = (uint8_t)(0x80 | (v & 0x7F));
    while (n > 0)
        out.push_back(buffer[--n]);
}

} // namespace

// ---- fxp / fxb ---------------------------------------------------------------------------------

bool parseFxFile(const std::vector<uint8_t>& bytes, FxFile& file, std::string& error) {
    if (bytes.size() < 28 || readBE32(&bytes[0]) != fourCC("CcnK")) {
        error = "not a VST program or bank file (no 'CcnK' header)";
        return false;
    }
    const uint32_t fxMagic = readBE32(&bytes[8]);
    size_t sizeOffset = 0;
    if (fxMagic == fourCC("FPCh")) {
        file.kind = FxKind::Program;
        sizeOffset = 56;
    } else if (fxMagic == fourCC("FBCh")) {
        file.kind = FxKind::Bank;
        sizeOffset = 156;
    } else if (fxMagic == fourCC("FxCk") || fxMagic == fourCC("FxBk")) {
        error = "the file holds a parameter list, not the opaque chunk this plug-in saves";
        return false;
    } else {
        error = "unknown kind of VST file";
        return false;
    }
    if (bytes.size() < sizeOffset + 4) {
        error = "the file is too short for its header";
        return false;
    }
    file.pluginId = (int32_t)readBE32(&bytes[16]);
    file.pluginVersion = (int32_t)readBE32(&bytes[20]);
    file.programName.clear();
    if (file.kind == FxKind::Program) {
        const char* name = reinterpret_cast<const char*>(&bytes[28]);
        file.programName.assign(name, strnlen(name, 28));
    }
    const uint32_t size = readBE32(&bytes[sizeOffset]);
    const size_t start = sizeOffset + 4;
    if (size == 0 || size > bytes.size() - start) {
        error = "the chunk size (" + std::to_string(size) + " bytes) does not fit the file (" +
                std::to_string(bytes.size() - start) + " bytes after the header)";
        return false;
    }
    file.chunk.assign(bytes.begin() + (long)start, bytes.begin() + (long)(start + size));
    return true;
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
              size_t maxBytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = systemError("cannot open", path);
        return false;
    }
    bytes.clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (bytes.size() + n > maxBytes) {
            std::fclose(f);
            error = path + " is too large";
            return false;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = systemError("cannot read", path);
        return false;
    }
    return true;
}

// ---- Standard MIDI file
// --------------------------------------------------------------------------

int64_t samplesToTicks(int64_t sample, double tempo, double rate) {
    return (int64_t)std::llround((double)sample * tempo * 480.0 / (60.0 * rate));
}

std::vector<uint8_t> buildMidiFile(const std::vector<MidiMessage>& messages, double tempo,
                                   double rate, int64_t endSample) {
    struct Timed {
        int64_t tick;
        int order; // 0 note-off first, 1 others
        size_t index;
    };
    std::vector<Timed> timed;
    timed.reserve(messages.size());
    for (size_t i = 0; i < messages.size(); ++i) {
        const MidiMessage& m = messages[i];
        const uint8_t kind = m.bytes[0] & 0xF0;
        const bool off = kind == 0x80 || (kind == 0x90 && m.size == 3 && m.bytes[2] == 0);
        timed.push_back(
            {samplesToTicks(std::max<int64_t>(0, m.sample), tempo, rate), off ? 0 : 1, i});
    }
    std::stable_sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });

    std::vector<uint8_t> track;
    // Tempo: microseconds per quarter note.
    long usPerQuarter = std::lround(60000000.0 / tempo);
    usPerQuarter = std::clamp(usPerQuarter, 1L, 0xFFFFFFL);
    track.insert(track.end(), {0x00, 0xFF, 0x51, 0x03});
    track.push_back((uint8_t)(usPerQuarter >> 16));
    track.push_back((uint8_t)(usPerQuarter >> 8));
    track.push_back((uint8_t)usPerQuarter);
    // 4/4, 24 MIDI clocks per metronome click, 8 thirty-seconds per quarter.
    track.insert(track.end(), {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});

    // A key struck again while it still sounds (a note-on before the note-off of the one
    // before) would leave readers to guess which note an off ends. Each note is ended just
    // before the next one on its key instead, and its own later note-off is dropped; a
    // note-off for a key that is not sounding is dropped too.
    int sounding[16][128] = {};
    int endedEarly[16][128] = {};
    int64_t now = 0;
    auto put = [&](int64_t tick, const uint8_t* bytes, int size) {
        putVarLen(track, (uint64_t)(tick - now));
        now = tick;
        for (int b = 0; b < size && b < 3; ++b)
            track.push_back(b == 0 ? bytes[0] : (uint8_t)(bytes[b] & 0x7F));
    };
    for (const Timed& t : timed) {
        const MidiMessage& m = messages[t.index];
        const uint8_t kind = m.bytes[0] & 0xF0;
        const int channel = m.bytes[0] & 0x0F, key = m.bytes[1] & 0x7F;
        if (kind == 0x90 || kind == 0x80) {
            if (t.order == 0) { // note-off
                if (endedEarly[channel][key] > 0) {
                    --endedEarly[channel][key];
                    continue;
                }
                if (sounding[channel][key] == 0) continue;
                sounding[channel][key] = 0;
            } else if (sounding[channel][key]) {
                const uint8_t off[3] = {(uint8_t)(0x80 | channel), (uint8_t)key, 64};
                put(t.tick, off, 3);
                ++endedEarly[channel][key];
            } else {
                sounding[channel][key] = 1;
            }
        }
        put(t.tick, m.bytes, m.size);
    }
    const int64_t end = std::max(now, samplesToTicks(std::max<int64_t>(0, endSample), tempo, rate));
    putVarLen(track, (uint64_t)(end - now));
    track.insert(track.end(), {0xFF, 0x2F, 0x00});

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0};
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    putBE32(file, (uint32_t)track.size());
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// ---- Pending files ------------------------------------------------------------------------------

PendingFile::~PendingFile() {
    discard();
}

int PendingFile::create(const std::string& target, std::string& error) {
    discard();
    target_ = target;
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) {
        error = "no file name in " + target;
        return -1;
    }
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "cannot write " + target + ": it is a folder";
        return -1;
    }
    std::string name = folder + "." + base + ".part-XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back(0);
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        error = systemError("cannot write in the folder of", target);
        return -1;
    }
    // mkstemp makes the file private; give it the permissions a normally created file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    temporary_ = buffer.data();
    active_ = true;
    return fd;
}

bool PendingFile::commit(std::string& error) {
    if (!active_) {
        error = "nothing to write to " + target_;
        return false;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = systemError("cannot write", target_);
        discard();
        return false;
    }
    active_ = false;
    return true;
}

void PendingFile::discard() {
    if (active_) unlink(temporary_.c_str());
    active_ = false;
}

// ---- WAV
// -------------------------------------------------------------------------------------------

WavWriter::~WavWriter() {
    discard();
}

bool WavWriter::open(const std::string& target, int rate, bool floatSamples, std::string& error) {
    const int fd = pending_.create(target, error);
    if (fd < 0) return false;
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | (floatSamples ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
    SNDFILE* sf = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!sf) {
        close(fd);
        error = "cannot write " + target + ": " + sf_strerror(nullptr);
        pending_.discard();
        return false;
    }
    // The PEAK chunk of float files carries the time of writing; leave it out so that the same
    // render always gives the same bytes. Integer samples are clipped rather than wrapped.
    sf_command(sf, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sndfile_ = sf;
    frames_ = 0;
    peak_ = 0.0;
    sumSquares_ = 0.0;
    return true;
}

bool WavWriter::write(const float* left, const float* right, int frames, std::string& error) {
    if (!sndfile_ || frames <= 0) return sndfile_ != nullptr;
    interleaved_.resize((size_t)frames * 2);
    for (int i = 0; i < frames; ++i) {
        const float l = left ? left[i] : 0.0f;
        const float r = right ? right[i] : 0.0f;
        interleaved_[2 * (size_t)i] = l;
        interleaved_[2 * (size_t)i + 1] = r;
        peak_ = std::max(peak_, (double)std::max(std::fabs(l), std::fabs(r)));
        sumSquares_ += (double)l * l + (double)r * r;
    }
    SNDFILE* sf = static_cast<SNDFILE*>(sndfile_);
    if (sf_writef_float(sf, interleaved_.data(), frames) != frames) {
        error = "cannot write " + pending_.target() + ": " + sf_strerror(sf);
        return false;
    }
    frames_ += frames;
    return true;
}

bool WavWriter::finish(std::string& error) {
    if (!sndfile_) {
        error = "nothing to write to " + pending_.target();
        return false;
    }
    SNDFILE* sf = static_cast<SNDFILE*>(sndfile_);
    sf_write_sync(sf);
    const int status = sf_close(sf);
    sndfile_ = nullptr;
    if (status != 0) {
        error = "cannot write " + pending_.target() + ": " + sf_error_number(status);
        pending_.discard();
        return false;
    }
    return pending_.commit(error);
}

void WavWriter::discard() {
    if (sndfile_) sf_close(static_cast<SNDFILE*>(sndfile_));
    sndfile_ = nullptr;
    pending_.discard();
}

double WavWriter::rms() const {
    return frames_ > 0 ? std::sqrt(sumSquares_ / (2.0 * (double)frames_)) : 0.0;
}

bool writeAndClose(int fd, const std::vector<uint8_t>& bytes, const std::string& target,
                   std::string& error) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = systemError("cannot write", target);
            close(fd);
            return false;
        }
        done += (size_t)n;
    }
    if (close(fd) != 0) {
        error = systemError("cannot write", target);
        return false;
    }
    return true;
}

bool writeFileAtomically(const std::string& target, const std::vector<uint8_t>& bytes,
                         std::string& error) {
    PendingFile pending;
    const int fd = pending.create(target, error);
    if (fd < 0) return false;
    return writeAndClose(fd, bytes, target, error) && pending.commit(error);
}

std::string stemName(const std::string& target, const std::string& suffix) {
    const size_t slash = target.find_last_of('/');
    const size_t dot = target.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        return target.substr(0, dot) + suffix + target.substr(dot);
    return target + suffix + ".wav";
}

} // namespace brakka_render
