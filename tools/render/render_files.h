// The renderer's files: program and bank files it reads, and the WAV and Standard MIDI files it
// writes. Every output is written to a temporary file beside its target and renamed into place
// only when the whole render succeeded, so a failed or interrupted render leaves nothing behind.
#pragma once

#include "plugin_host.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brakka_render {

// ---- fxp / fxb files with an opaque chunk --------------------------------------------------

enum class FxKind { Program, Bank };

struct FxFile {
    FxKind kind = FxKind::Program;
    int32_t pluginId = 0;
    int32_t pluginVersion = 0;
    std::string programName; // programs only
    std::vector<uint8_t> chunk;
};

// Parses the bytes of a program (FPCh) or bank (FBCh) file. Header fields are big-endian; the
// chunk is handed over as stored. Returns false with a message for anything else: a short file,
// a wrong magic, a parameter-list file (FxCk, FxBk) or a chunk size beyond the end of the file.
bool parseFxFile(const std::vector<uint8_t>& bytes, FxFile& file, std::string& error);

// Reads a whole file (at most maxBytes). Returns false with a message on failure.
bool readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
              size_t maxBytes = 256u << 20);

// ---- Standard MIDI file ----------------------------------------------------------------------

using brakka_host::MidiMessage;

// Builds a format 0 file with 480 ticks per quarter note: a tempo and a 4/4 time signature at
// tick 0, then the messages with their sample positions converted to ticks at the given tempo
// and rate (rounded to the nearest tick). At equal ticks note-offs come first, then the
// messages in the order given. A note struck again before its note-off is ended just before the
// new note-on (and its late note-off left out), so every note-off ends exactly one note. The
// end-of-track event is placed at the last message or at `endSample`, whichever is later.
std::vector<uint8_t> buildMidiFile(const std::vector<MidiMessage>& messages, double tempo,
                                   double rate, int64_t endSample);

// Sample position to MIDI ticks (480 per quarter note), rounded to nearest.
int64_t samplesToTicks(int64_t sample, double tempo, double rate);

// ---- Outputs -----------------------------------------------------------------------------------

// A file being written under a temporary name in the target's folder.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile(); // removes the temporary file unless committed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file; returns its descriptor or -1 with a message.
    int create(const std::string& target, std::string& error);
    // Renames the temporary file to the target. The descriptor must be closed by then.
    bool commit(std::string& error);
    // Removes the temporary file now.
    void discard();
    const std::string& target() const { return target_; }

private:
    std::string target_;
    std::string temporary_;
    bool active_ = false;
};

// A stereo WAV file written block by block (24-bit integer or 32-bit float), with its level
// figures.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const std::string& target, int rate, bool floatSamples, std::string& error);
    // Writes frames of two channels.
    bool write(const float* left, const float* right, int frames, std::string& error);
    // Closes the file and moves it into place.
    bool finish(std::string& error);
    void discard();

    const std::string& target() const { return pending_.target(); }
    int64_t frames() const { return frames_; }
    double peak() const { return peak_; }
    double rms() const;

private:
    PendingFile pending_;
    void* sndfile_ = nullptr;
    std::vector<float> interleaved_;
    int64_t frames_ = 0;
    double peak_ = 0.0;
    double sumSquares_ = 0.0;
};

// Writes all bytes to the descriptor and closes it; false with a message naming `target`.
bool writeAndClose(int fd, const std::vector<uint8_t>& bytes, const std::string& target,
                   std::string& error);

// Writes bytes to a file through a temporary file and a rename.
bool writeFileAtomically(const std::string& target, const std::vector<uint8_t>& bytes,
                         std::string& error);

// "song.wav" with suffix "-C" gives "song-C.wav"; a name without ".wav" gets the suffix and
// ".wav" appended.
std::string stemName(const std::string& target, const std::string& suffix);

} // namespace brakka_render
