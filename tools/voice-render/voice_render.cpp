// Renders each instrument, struck once at velocity 1 with the default sound parameters, to a
// WAV file (44100 Hz, 32-bit float, mono), and prints its peak, RMS and time until silence.
//
// Usage: brakka-voice-render [output-folder] [velocity]
#include "BrakkaVoiceBank.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int kRate = 44100;
const int kMaxSeconds = 6;
const int kTailSamples = kRate / 20; // 50 ms of silence after the last sound

// The default DSP value of every sound parameter (tag, value): the parameter table's default
// natural values turned into what the voices receive (percent as a fraction, decibels as a linear
// gain, the pitch depths in hertz, the three tuning factors). Tags the bank ignores are included
// so that the list covers 0 to 107.
struct TagValue {
    int tag;
    float value;
};

const TagValue kDefaultSoundDSPValues[] = {
    // Kick
    {0, 45.0f},
    {1, 0.0f},
    {2, 10.0f},
    {3, 0.0f},
    {4, 360.0f},
    {5, -0.38f},
    {6, 10.0f},
    {7, 0.0f},
    {8, 200.0f},
    {9, -0.55f},
    {10, 99.0f},
    {11, 1000.0f},
    {12, 0.50118723f},
    {13, 0.0f},
    // Snare 9
    {14, 130.0f},
    {15, 200.0f},
    {16, -0.7f},
    {17, 200.0f},
    {18, -0.7f},
    {19, 10000.0f},
    {20, 260.0f},
    {21, -0.5f},
    {22, 260.0f},
    {23, -0.5f},
    {24, 1.0f},
    // Snare 8
    {25, 100.0f},
    {26, 1000.0f},
    {27, 200.0f},
    {28, 1.0f},
    // Low tom
    {29, 55.0f},
    {30, 60.0f},
    {31, 0.25118864f},
    {32, 1.0f},
    {33, 1.0f},
    {34, 0.0f},
    {35, 0.001f},
    {36, -0.5f},
    {37, 400.0f},
    {38, -0.5f},
    {39, 0.001f},
    {40, -0.5f},
    {41, 200.0f},
    {42, -0.5f},
    // Mid tom
    {43, 75.0f},
    {44, 60.0f},
    {45, 0.25118864f},
    {46, 1.0f},
    {47, 1.0f},
    {48, 0.0f},
    {49, 0.001f},
    {50, -0.5f},
    {51, 400.0f},
    {52, -0.5f},
    {53, 0.001f},
    {54, -0.5f},
    {55, 200.0f},
    {56, -0.5f},
    // High tom
    {57, 95.0f},
    {58, 60.0f},
    {59, 0.25118864f},
    {60, 1.0f},
    {61, 1.0f},
    {62, 0.0f},
    {63, 0.001f},
    {64, -0.5f},
    {65, 400.0f},
    {66, -0.5f},
    {67, 0.001f},
    {68, -0.5f},
    {69, 200.0f},
    {70, -0.5f},
    // Clap
    {71, 1000.0f},
    {72, 200.0f},
    // Cowbell
    {73, 587.0f},
    {74, 1.44f},
    {75, 0.1f},
    {76, -0.5f},
    {77, 200.0f},
    {78, -0.5f},
    {79, 2640.0f},
    {80, 0.05f},
    {81, 0.0f},
    // Closed hat
    {82, 5000.0f},
    {83, 5000.0f},
    {84, 1.0f},
    {85, 0.5f},
    {86, 100.0f},
    // Open hat
    {87, 5000.0f},
    {88, 5000.0f},
    {89, 0.5f},
    {90, 0.5f},
    {91, 400.0f},
    {92, -0.5f},
    // Cymbal
    {93, 1.0f},
    {94, 0.31622777f},
    {95, 0.31622777f},
    {96, 7000.0f},
    {97, 0.1f},
    {98, -0.5f},
    {99, 2000.0f},
    {100, -0.8f},
    {101, 7000.0f},
    {102, 0.1f},
    {103, -0.5f},
    {104, 10.0f},
    {105, -0.9f},
    // Rimshot
    {106, 1.0f},
    {107, 1000.0f},
};

const char* const kFileNames[BrakkaVoiceBank::kNumVoices] = {
    "kick",      "snare8",  "snare9", "lowtom",  "midtom", "hightom",
    "closedhat", "openhat", "cymbal", "rimshot", "clap",   "cowbell"};

bool writeWav(const std::string& path, const std::vector<float>& samples) {
    SF_INFO info = {};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    sf_count_t n = sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    return n == static_cast<sf_count_t>(samples.size());
}

} // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : ".";
    float velocity = argc > 2 ? static_cast<float>(std::atof(argv[2])) : 1.0f;

    std::printf("%-10s %10s %10s %10s %12s\n", "voice", "peak", "rms", "dc", "silent after");
    int failures = 0;
    for (int index = 0; index < BrakkaVoiceBank::kNumVoices; ++index) {
        // A fresh bank per instrument, so every file starts from the construction state.
        BrakkaVoiceBank bank;
        bank.setAudioSamplingRate(static_cast<float>(kRate));
        for (const TagValue& tv : kDefaultSoundDSPValues)
            bank.setVoiceParameter(tv.tag, tv.value);

        brakka_voice* voice = bank.getVoice(index);
        voice->thwack(velocity);
        std::vector<float> out(static_cast<size_t>(kRate) * kMaxSeconds);
        long last = -1;
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = voice->process();
            if (out[i] != 0.0f) last = static_cast<long>(i);
        }
        out.resize(static_cast<size_t>(last + 1 + kTailSamples));

        double peak = 0, sum = 0, sumSquares = 0;
        for (long i = 0; i <= last; ++i) {
            double x = out[static_cast<size_t>(i)];
            peak = std::fmax(peak, std::fabs(x));
            sum += x;
            sumSquares += x * x;
        }
        long n = last + 1 > 0 ? last + 1 : 1;
        std::printf("%-10s %10.4f %10.4f %10.6f %9.1f ms\n", kFileNames[index], peak,
                    std::sqrt(sumSquares / n), sum / n, 1000.0 * (last + 1) / kRate);

        std::string path = folder + "/" + kFileNames[index] + ".wav";
        if (!writeWav(path, out)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
