// Renders each instrument, struck once at velocity 1 with the default sound parameters, to a
// WAV file (44100 Hz, 32-bit float, mono), and prints its peak, RMS and time until silence.
//
// Usage: brakka-voice-render [output-folder] [velocity]
#include "BrakkaParameterManager.h"
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

const char* const kFileNames[kNumVoices] = {"kick",   "snare8",  "snare9",    "lowtom",
                                            "midtom", "hightom", "closedhat", "openhat",
                                            "cymbal", "rimshot", "clap",      "cowbell"};

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
    BrakkaParameterManager defaults;
    int failures = 0;
    for (int index = 0; index < kNumVoices; ++index) {
        // A fresh bank per instrument, so every file starts from the construction state.
        BrakkaVoiceBank bank;
        bank.setAudioSamplingRate(static_cast<float>(kRate));
        // Every sound parameter at its default, as the engine hands it to the voices.
        for (int tag = 0; tag <= 107; ++tag)
            bank.setVoiceParameter(tag, defaults.getDSPValue(tag));

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
