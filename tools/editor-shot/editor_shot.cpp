// brakka-editor-shot: draws Brakka's editor off-screen to a PNG file. The engine is built in this
// program and driven through its AEffect record as a host drives it: the chosen program is
// loaded, its sequencer plays a few bars on the internal clock (so the playing step shows), then
// the editor is opened without a window, the chosen voice selected, and the frame drawn at the
// chosen zoom. Run with --help for the options.
#include "Brakka.h"
#include "BrakkaEditor.h"
#include "CHighlightFrame.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: brakka-editor-shot FILE.png [options]\n"
    "Draws Brakka's editor to FILE.png, as it shows a program while the sequencer plays.\n"
    "\n"
    "  --program N   program of the factory bank, 1..48 (default 1)\n"
    "  --voice V     the voice whose sound panel shows, 1..12 in the order kick, snare 8,\n"
    "                snare 9, low, mid and high tom, closed hat, open hat, cymbal, rimshot,\n"
    "                clap, cowbell (default 1)\n"
    "  --zoom Z      100, 150 or 200 percent (also 1, 1.5 or 2; default 100)\n"
    "  --bars B      bars the sequencer plays first on its own clock, 0..64 (default 2.4,\n"
    "                which leaves the playing step inside the pattern); 0: stopped\n"
    "  --help        this text\n"
    "\n"
    "Exit status: 0 written, 1 the picture could not be drawn or written, 2 bad arguments.\n";

const float kSyncInternal = 0.5f;
const int kBlock = 512;
const float kRate = 44100.0f;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

bool parseNumber(const char* text, double lo, double hi, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= lo && out <= hi;
}

int usageError(const char* message) {
    std::fprintf(stderr, "brakka-editor-shot: %s (see --help)\n", message);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const char* out = nullptr;
    double program = 1, voice = 1, zoom = 1, bars = 2.4;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        bool ok = true;
        if (a == "--program" || a == "--voice" || a == "--zoom" || a == "--bars") {
            if (i + 1 >= argc) return usageError(("missing value for " + a).c_str());
            const char* v = argv[++i];
            if (a == "--program")
                ok = parseNumber(v, 1, 48, program) && program == std::floor(program);
            else if (a == "--voice")
                ok = parseNumber(v, 1, 12, voice) && voice == std::floor(voice);
            else if (a == "--bars")
                ok = parseNumber(v, 0, 64, bars);
            else if (parseNumber(v, 1, 200, zoom))
                ok = (zoom = zoom > 2 ? zoom / 100 : zoom, zoom == 1 || zoom == 1.5 || zoom == 2);
            else
                ok = false;
            if (!ok) return usageError(("bad value for " + a + ": " + v).c_str());
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError(("unknown option " + a).c_str());
        } else if (out) {
            return usageError("more than one output file");
        } else {
            out = argv[i];
        }
    }
    if (!out) return usageError("no output file");

    AudioEffect* instance = createEffectInstance(hostCallback);
    if (!instance) {
        std::fprintf(stderr, "brakka-editor-shot: the plug-in did not start\n");
        return 1;
    }
    AEffect* effect = instance->getAeffect();
    auto dispatch = [&](VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, float opt = 0) {
        return effect->dispatcher(effect, op, index, value, nullptr, opt);
    };
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, kRate);
    dispatch(effSetBlockSize, 0, kBlock);
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, (VstIntPtr)program - 1);
    dispatch(effEndSetProgram);
    dispatch(effMainsChanged, 0, 1);

    Brakka* engine = static_cast<Brakka*>(instance);
    if (bars > 0) {
        effect->setParameter(effect, kSyncTag, kSyncInternal);
        effect->setParameter(effect, kPlayTag, 1.0f);
        std::vector<float> buffer((size_t)effect->numOutputs * kBlock);
        std::vector<float*> outputs((size_t)effect->numOutputs);
        for (int c = 0; c < effect->numOutputs; ++c)
            outputs[(size_t)c] = &buffer[(size_t)c * kBlock];
        const double samples = bars * 4 * 60.0 / engine->getTempo() * kRate;
        for (double done = 0; done < samples; done += kBlock)
            effect->processReplacing(effect, nullptr, outputs.data(), kBlock);
    }

    BrakkaEditor* editor = static_cast<BrakkaEditor*>(engine->getEditor());
    bool written = false;
    if (editor && editor->openOffscreen()) {
        editor->setCurrentVoice((int)voice - 1);
        editor->idle();
        CFrame* frame = editor->getFrame();
        frame->setZoom(zoom);
        written = frame->writePNG(out);
        editor->close();
    }
    dispatch(effMainsChanged, 0, 0);
    dispatch(effClose);
    if (!written) {
        std::fprintf(stderr, "brakka-editor-shot: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
