// Running brakka-render as a subprocess, and the small readers the renderer tests need: WAV
// files through libsndfile and MIDI files through Debian's python3-mido (midi_dump.py).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render_test {

struct RunResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Starts a program (argv[0]) in `folder`, its output going to files there, and returns its
// process id (the program itself, not a shell) or -1; finishProgram waits for it and collects
// its exit status and output; runProgram does both; runRender runs brakka-render with the
// plug-in of this build.
int startProgram(const std::vector<std::string>& argv, const std::string& folder);
RunResult finishProgram(int pid, const std::string& folder);
RunResult runProgram(const std::vector<std::string>& argv, const std::string& folder);
RunResult runRender(std::vector<std::string> args, const std::string& folder);

// A fresh temporary folder, removed with its contents at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const; // names, sorted

private:
    std::string path_;
};

std::vector<uint8_t> readBytes(const std::string& path);

struct Wav {
    int rate = 0;
    int channels = 0;
    int format = 0;
    std::vector<float> samples; // interleaved
    int64_t frames() const { return channels ? (int64_t)samples.size() / channels : 0; }
};
bool readWav(const std::string& path, Wav& wav);
// Index of the first frame with a sample of magnitude above `level`, or -1.
int64_t firstSound(const Wav& wav, float level = 0.0f);

struct MidiNote {
    bool on;
    long tick;
    int note;
    int velocity;
};
// A MIDI file as mido (another reader than ours) reads it.
struct MidiDump {
    bool ok = false;
    long format = -1, ticks = 0, tempo = 0, end = -1;
    int timeSigNumerator = 0, timeSigDenominator = 0;
    std::vector<MidiNote> notes;
    std::string error;
};
MidiDump readMidiWithMido(const std::string& path);

// --set arguments that give pattern P (1..16) of the current program quarter notes at full
// velocity on exactly the given voices, whatever the program held: rows cleared, every voice's
// random beats 0 % except the chosen ones at 100 % on a quarter-note grid, step size "1 x 32".
std::vector<std::string> quarterNotePattern(int pattern, const std::vector<int>& voices);
// --set arguments that make every voice audible at full level on bus A, no compressor.
std::vector<std::string> neutralMixer();

} // namespace render_test
