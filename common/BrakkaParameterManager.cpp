#include "BrakkaParameterManager.h"

#include <cmath>
#include <cstdio>
#include <string>

const int BrakkaParameterManager::kSeqStepSizes[5] = {3, 6, 4, 6, 8};
const int BrakkaParameterManager::kRandomStepSizes[7] = {3, 4, 6, 8, 12, 24, 48};
const char* const BrakkaParameterManager::kStepSizeStrs[5] = {"1 x 32", "2 x 16", "1 x 16T",
                                                              "1 x 16", "1 x 8T"};
const char* const BrakkaParameterManager::kRandomSizeStrs[7] = {"1/32", "1/16T", "1/16", "1/8T",
                                                                "1/8",  "1/4",   "1/2"};
const char* const BrakkaParameterManager::kSyncStrs[3] = {"HOST", "INT", "MIDI"};

namespace {

struct ParamRow {
    long tag;
    const char* longName;
    const char* shortName;
    const char* units;
    float min, max, def;
    zu_paramTypes type;
};

// Sound parameters of kick, snares, clap, cowbell, hats, cymbal and rimshot (the toms are built
// from one template below).
const ParamRow kSoundRows[] = {
    {0, "Kickdrum Tune", "KD Tune", "Hz", 40, 110, 45, kParamLinear},
    {1, "Kickdrum Saturation", "KD Sat", "", 0, 1, 0, kParamLinear},
    {2, "Kickdrum Amp Attack", "KDAmpAtk", "msec", 0.1f, 50, 10, kParamLinear},
    {3, "Kickdrum Amp Attack Curve", "KDAmpAtC", "", -1, 1, 0, kParamLinear},
    {4, "Kickdrum Amp Decay", "KDAmpDcy", "msec", 1, 2000, 360, kParamLinear},
    {5, "Kickdrum Amp Decay Curve", "KDAmpDcC", "", -1, 1, -0.38f, kParamLinear},
    {6, "Kickdrum Pitch Attack", "KDPitAtk", "msec", 0.1f, 50, 10, kParamLinear},
    {7, "Kickdrum Pitch Attack Curve", "KDPitAtC", "", -1, 1, 0, kParamLinear},
    {8, "Kickdrum Pitch Decay", "KDPitDcy", "msec", 1, 500, 200, kParamLinear},
    {9, "Kickdrum Pitch Decay Curve", "KDPitDcC", "", -1, 1, -0.55f, kParamLinear},
    {10, "Kickdrum Pitch Mod", "KDPitMod", "%", 0, 100, 66, kParamPercent},
    {11, "Kickdrum Noise Freq", "KDNoiFrq", "Hz", 100, 18000, 1000, kParamExponential},
    {12, "Kickdrum Click Level", "KDCliLvl", "dB", -60, 0, -6, kParamDecibel},
    {13, "Kickdrum Waveform", "KDWavFrm", "", 0, 1, 0, kParamInteger},

    {14, "Snare9 Tune", "S9 Tune", "Hz", 100, 300, 130, kParamExponential},
    {15, "Snare9 Tone Attack", "S9TonAtk", "msec", 1, 500, 200, kParamLinear},
    {16, "Snare9 Tone Attack Curve", "S9TonAtC", "", -1, 1, -0.7f, kParamLinear},
    {17, "Snare9 Tone Decay", "S9TonDcy", "msec", 1, 500, 200, kParamLinear},
    {18, "Snare9 Tone Decay Curve", "S9TonDcC", "", -1, 1, -0.7f, kParamLinear},
    {19, "Snare9 Noise Color", "S9nsCol", "Hz", 1500, 18000, 10000, kParamExponential},
    {20, "Snare9 Noise Attack", "S9NoiAtk", "msec", 1, 500, 260, kParamLinear},
    {21, "Snare9 Noise Attack Curve", "S9NoiAtC", "", -1, 1, -0.5f, kParamLinear},
    {22, "Snare9 Noise Decay", "S9NoiDcy", "msec", 1, 500, 260, kParamLinear},
    {23, "Snare9 Noise Decay Curve", "S9NoiDcC", "", -1, 1, -0.5f, kParamLinear},
    {24, "Snare9 Noise Level", "S9NoiLvl", "dB", -60, 0, 0, kParamDecibel},

    {25, "Snare8 Tune", "S8 Tune", "Hz", 80, 200, 100, kParamExponential},
    {26, "Snare8 Noise Color", "S8NoiCol", "Hz", 100, 18000, 1000, kParamExponential},
    {27, "Snare8 Noise Decay", "S8NoiDcy", "msec", 1, 500, 200, kParamLinear},
    {28, "Snare8 Noise Level", "S8NoiLvl", "dB", -60, 0, 0, kParamDecibel},

    {71, "Clap Tone", "CP Tone", "Hz", 500, 3000, 1000, kParamExponential},
    {72, "Clap Reverb", "CPReverb", "ms", 0, 1000, 200, kParamLinear},

    {73, "Cowbell Tune", "CB Tune", "Hz", 400, 1000, 587, kParamExponential},
    {74, "Cowbell Ratio", "CBRatio", "", 1, 2, 1.44f, kParamLinear},
    {75, "Cowbell Attack", "CBAtkTim", "msec", 0.01f, 5, 0.1f, kParamLinear},
    {76, "Cowbell Attack Curvature", "CBAtkCrv", "", -1, 1, -0.5f, kParamLinear},
    {77, "Cowbell Decay", "CBDecay", "msec", 0.1f, 500, 200, kParamLinear},
    {78, "Cowbell Decay Curve", "CBDcyCrv", "", -1, 1, -0.5f, kParamLinear},
    {79, "Cowbell Filter Freq", "CBFilFrq", "Hz", 400, 10000, 2640, kParamExponential},
    {80, "Cowbell Filter Resonance", "CBFilRes", "", 0, 0.5f, 0.05f, kParamLinear},
    {81, "More Cowbell", "CB More", "", 0, 1, 0, kParamOnOff},

    {82, "CHH BPF Freq", "CHBPFFrq", "Hz", 1000, 18000, 5000, kParamExponential},
    {83, "CHH HPF Freq", "CHHPFFrq", "Hz", 1000, 18000, 5000, kParamExponential},
    {84, "CHH Tune", "CH Tune", "", 0, 1, 0.5f, kParamLinear},
    {85, "CHH Noise Mix", "CHNoiMix", "%", 0, 100, 50, kParamPercent},
    {86, "CHH Decay", "CHDecay", "msec", 1, 1000, 100, kParamLinear},

    {87, "OHH BPF Freq", "OHBPFFrq", "Hz", 1000, 18000, 5000, kParamExponential},
    {88, "OHH HPF Freq", "OHHPFFrq", "Hz", 1000, 18000, 5000, kParamExponential},
    {89, "OHH Tune", "OH Tune", "", 0, 1, 0.5f, kParamLinear},
    {90, "OHH Noise Mix", "OHNoiMix", "%", 0, 100, 50, kParamPercent},
    {91, "OHH Decay", "OHDecay", "msec", 1, 2000, 400, kParamLinear},
    {92, "OHH Decay Curve", "OHDcyCrv", "", -1, 1, -0.5f, kParamLinear},

    {93, "Cymbal Tuning", "CY Tune", "", 0, 1, 0.5f, kParamLinear},
    {94, "Cymbal Noise Level", "CY Noise", "dB", -60, 0, -10, kParamDecibel},
    {95, "Cymbal Ding Level", "CY Ding", "dB", -60, 0, -10, kParamDecibel},
    {96, "Cymbal Freq", "CY Freq", "Hz", 1000, 9000, 7000, kParamExponential},
    {97, "Cymbal Attack Time", "CYAtkTim", "msec", 0.01f, 5, 0.1f, kParamLinear},
    {98, "Cymbal Attack Curvature", "CYAtkCrv", "", -1, 1, -0.5f, kParamLinear},
    {99, "Cymbal Decay Time", "CYDcyTim", "msec", 10, 4000, 2000, kParamLinear},
    {100, "Cymbal Decay Curvature", "CYDcyCrv", "", -1, 1, -0.8f, kParamLinear},
    {101, "Cymbal Ding Freq", "CYDingFr", "Hz", 1000, 9000, 7000, kParamExponential},
    {102, "Cymbal Ding Attack Time", "CYDgAtTm", "msec", 0.01f, 5, 0.1f, kParamLinear},
    {103, "Cymbal Ding Attack Curvature", "CYDgAtCv", "", -1, 1, -0.5f, kParamLinear},
    {104, "Cymbal Ding Decay Time", "CYDgDyTm", "msec", 5, 200, 10, kParamLinear},
    {105, "Cymbal Ding Decay Curvature", "CUDgDyCv", "", -1, 1, -0.9f, kParamLinear},

    {106, "Rimshot Tune", "RS Tune", "", 0, 1, 0.5f, kParamLinear},
    {107, "Rimshot HPF Freq", "RSHPFFrq", "Hz", 100, 2000, 1000, kParamExponential},
};

// One tom parameter: long and short name suffixes after the voice word and prefix. Ranges that
// differ between the toms are filled in per tom.
struct TomRow {
    const char* longSuffix;
    const char* shortSuffix;
    const char* units;
    float min, max, def;
    zu_paramTypes type;
};

const TomRow kTomRows[14] = {
    {" Freq", " Freq", "Hz", 0, 0, 0, kParamExponential}, // range per tom
    {" Pitch Depth", "ptchDpt", "%", 0, 100, 30, kParamPercent},
    {" Click Level", "clkLvl", "dB", -60, 5, -12, kParamDecibel},
    {" Noise Level", "noisLv", "dB", -60, 0, 0, kParamDecibel},
    {" Tone Level", "toneLv", "dB", -60, 0, 0, kParamDecibel},
    {" Saturation", "satura", "", 0, 0.5f, 0, kParamLinear},
    {" Tone 1 Attack Time", "tn1ATm", "msec", 0.001f, 25, 0.001f, kParamLinear},
    {" Tone 1 Attack Curvature", "tn1ACv", "", -1, 1, -0.5f, kParamLinear},
    {" Tone 1 Decay Time", "tn1DTm", "msec", 10, 2000, 400, kParamLinear},
    {" Tone 1 Decay Curvature", "tn1DCv", "", -1, 1, -0.5f, kParamLinear},
    {" Tone 2 Attack Time", "tn2ATm", "msec", 0.001f, 25, 0.001f, kParamLinear},
    {" Tone 2 Attack Curvature", "tn2ACv", "", -1, 1, -0.5f, kParamLinear},
    {" Tone 2 Decay Time", "tn2DTm", "msec", 10, 2000, 200, kParamLinear},
    {" Tone 2 Decay Curvature", "tn2DCv", "", -1, 1, -0.5f, kParamLinear},
};

struct TomVoice {
    long firstTag;
    const char* word;
    const char* prefix;
    float freqMin, freqMax, freqDef;
};

const TomVoice kToms[3] = {
    {29, "Low Tom", "LT", 40, 80, 55},
    {43, "Mid Tom", "MT", 60, 100, 75},
    {57, "High Tom", "HT", 80, 120, 95},
};

// Voice words of the per-voice families: long-name word, mixer prefix, sequencer prefix.
const char* const kVoiceWord[12] = {
    "Kickdrum",        "Snare 8",       "Snare 9", "Low Tom", "Mid Tom", "High Tom",
    "Closed High Hat", "Open High Hat", "Cymbal",  "Rimshot", "Clap",    "Cowbell"};
const char* const kMixerPrefix[12] = {"KD",  "S8",  "S9", "LT", "MT", "HT",
                                      "CHH", "OHH", "CY", "RS", "CL", "CB"};
const char* const kSeqPrefix[12] = {"KD", "S8", "S9", "LT", "MT", "HT",
                                    "CH", "OH", "CY", "RS", "CL", "CB"};

enum { kMixerWords, kSeqWords };

struct FamilyRow {
    long base;
    int words;
    const char* longSuffix;
    const char* shortSuffix;
    const char* units;
    float min, max, def;
    zu_paramTypes type;
};

const FamilyRow kFamilies[] = {
    {118, kMixerWords, " Level", " Level", "dB", -60, 0, 0, kParamDecibel},
    {130, kMixerWords, " Pan", " Pan", "", 0, 1, 0.5f, kParamLinear},
    {142, kMixerWords, " Output", " Out", "", 0, 5, 0, kParamLinear}, // law per voice below
    {154, kMixerWords, " Mute", " Mute", "", 0, 1, 0, kParamOnOff},
    {166, kMixerWords, " Solo", " Solo", "", 0, 1, 0, kParamOnOff},
    {178, kSeqWords, " Selected Beats", "selbts", "%", 0, 100, 100, kParamPercent},
    {190, kSeqWords, " Random Beats", "rndbts", "%", 0, 100, 0, kParamPercent},
    {202, kSeqWords, " Random Size", "rndsz", "", 0, 6, 2, kParamInteger},
    {214, kSeqWords, " Random Velocity", "rndvel", "", 0, 127, 1, kParamLinear},
    {226, kSeqWords, " Clear", " Clear", "", 0, 1, 0, kParamOnOff},
    {238, kSeqWords, " Random Fill", " Rand", "", 0, 1, 0, kParamOnOff},
    {250, kSeqWords, " Random Reset", "rndrst", "", 0, 1, 0, kParamOnOff},
};

// The outputs of rimshot, clap and cowbell select their bus by rounding; the others truncate.
const int kFirstIntegerOutputVoice = 9;

const long kPatternStepSizeTag = 108;
const long kSwingTag = 112;
const long kSyncTag = 113;
const long kPatternTag = 114;
const long kKickWaveformTag = 13;
const long kKickPitchModTag = 10;
const long kFirstOutputTag = 142;
const long kLastOutputTag = 153;
const long kFirstRandomSizeTag = 202;
const long kLastRandomSizeTag = 213;
const int kNumOutputBuses = 6;

bool isTomPitchDepth(long tag) {
    return tag == 30 || tag == 44 || tag == 58;
}
bool isTuningFactorTag(long tag) {
    return tag == 84 || tag == 93 || tag == 106;
}
// Curve-like parameters shown with three decimals.
bool isFineTag(long tag) {
    switch (tag) {
    case 1:
    case 3:
    case 5:
    case 7:
    case 9:
    case 74:
    case 78:
    case 80:
        return true;
    default:
        return false;
    }
}

} // namespace

BrakkaParameterManager::BrakkaParameterManager() {
    createSoundParameters();
    createGlobalParameters();
    createVoiceFamilies();

    for (unsigned int tag = 0; tag <= 107; ++tag)
        mModulatableTags.insert(tag);
    for (unsigned int tag = 130; tag <= 141; ++tag)
        mModulatableTags.insert(tag);

    mPatternTags.insert(static_cast<unsigned int>(kPatternStepSizeTag));
    for (unsigned int voice = 0; voice < kNumVoices; ++voice) {
        mPatternTags.insert(178 + voice);
        mPatternTags.insert(190 + voice);
        mPatternTags.insert(214 + voice);
        mPatternTags.insert(202 + voice);
        mPatternTags.insert(250 + voice);
    }
    for (unsigned int tag : mModulatableTags)
        mIsModulatable[tag] = true;
    for (unsigned int tag : mPatternTags)
        mIsPatternTag[tag] = true;

    for (int pattern = 0; pattern < kNumPatterns; ++pattern)
        createState(mPatternTags);

    const double pi = std::acos(-1.0);
    for (int i = 0; i < kPanLawSize; ++i) {
        mPanLawLeft[i] = static_cast<float>(std::cos(i * pi / 2000.0));
        mPanLawRight[i] = static_cast<float>(std::sin(i * pi / 2000.0));
    }
}

BrakkaParameterManager::~BrakkaParameterManager() = default;

void BrakkaParameterManager::createSoundParameters() {
    for (const ParamRow& r : kSoundRows)
        newParameter(r.tag, r.longName, r.shortName, r.units, r.min, r.max, r.def, r.type);

    for (const TomVoice& tom : kToms) {
        for (int i = 0; i < 14; ++i) {
            const TomRow& r = kTomRows[i];
            const long tag = tom.firstTag + i;
            std::string longName = std::string(tom.word) + r.longSuffix;
            std::string shortName = std::string(tom.prefix) + r.shortSuffix;
            // Two short names of the high tom carry an extra letter.
            if (tag == 58) shortName = "HTTptchDpt";
            if (tag == 60) shortName = "HTTnoisLv";
            float lo = r.min, hi = r.max, def = r.def;
            if (i == 0) {
                lo = tom.freqMin;
                hi = tom.freqMax;
                def = tom.freqDef;
            }
            newParameter(tag, longName.c_str(), shortName.c_str(), r.units, lo, hi, def, r.type);
        }
    }
}

void BrakkaParameterManager::createGlobalParameters() {
    newParameter(108, "Pattern Step Size", "Stepsize", "", 0, 4, 0, kParamInteger);
    newParameter(109, "Play", "Play", "", 0, 1, 0, kParamLinear);
    newParameter(110, "Stop", "Stop", "", 0, 1, 0, kParamOnOff);
    newParameter(111, "Tempo", "Tempo", "BPM", 50, 250, 120, kParamLinear);
    newParameter(112, "Swing", "Swing", "%", 0, 100, 0, kParamPercent);
    newParameter(113, "Sync", "Sync", "", 0, 2, 0, kParamInteger);
    newParameter(114, "Pattern", "Pattern", "", 0, 15, 0, kParamInteger);
    newParameter(115, "Output A", "Out A", "dB", -60, 3, 0, kParamDecibel);
    newParameter(116, "Compressor", "Compress", "", 0, 100, 0, kParamLinear);
    newParameter(117, "Compressor Attack", "Comp Att", "ms", 0.001f, 10, 0.001f, kParamLinear);
    newParameter(262, "MIDI Output Only", "MIDIOnly", "", 0, 1, 0, kParamOnOff);
}

void BrakkaParameterManager::createVoiceFamilies() {
    for (const FamilyRow& f : kFamilies) {
        for (int voice = 0; voice < kNumVoices; ++voice) {
            const bool seq = f.words == kSeqWords;
            std::string longName =
                std::string(seq ? kSeqPrefix[voice] : kVoiceWord[voice]) + f.longSuffix;
            std::string shortName =
                std::string(seq ? kSeqPrefix[voice] : kMixerPrefix[voice]) + f.shortSuffix;
            zu_paramTypes type = f.type;
            if (f.base == kFirstOutputTag && voice >= kFirstIntegerOutputVoice)
                type = kParamInteger;
            newParameter(f.base + voice, longName.c_str(), shortName.c_str(), f.units, f.min, f.max,
                         f.def, type);
        }
    }
}

float BrakkaParameterManager::getDSPValue(long tag) {
    if (!hasParameter(tag)) return 0.0f;
    // Stored VST values are kept as given; the special laws read them limited to [0, 1].
    const float v = clampTo(getVSTvalue(tag), 0.0f, 1.0f);
    if (tag == kKickPitchModTag) return 150.0f * v;
    if (isTomPitchDepth(tag)) return 200.0f * v;
    if (isTuningFactorTag(tag)) return tuningFactor(v);
    if (tag == kPatternStepSizeTag)
        return static_cast<float>(kSeqStepSizes[safeIndex(getNaturalValue(tag), 5)]);
    if (tag == kSwingTag) return (1.0f - v) * 0.8f + 0.2f;
    if (tag >= kFirstRandomSizeTag && tag <= kLastRandomSizeTag)
        return static_cast<float>(kRandomStepSizes[safeIndex(getNaturalValue(tag), 7)]);
    return zu_paramManager::getDSPValue(tag);
}

float BrakkaParameterManager::getModulatedDSPValue(long tag, float m) {
    if (!hasParameter(tag)) return 0.0f;
    if (std::isnan(m)) m = 0.5f; // an unreadable step value bends nothing
    if (tag == kKickWaveformTag) return m > 0.5f ? 1.0f : 0.0f;
    const float x = clampTo(getVSTvalue(tag) + 2.0f * m - 1.0f, 0.0f, 1.0f);
    if (tag == kKickPitchModTag) return 150.0f * x;
    if (isTomPitchDepth(tag)) return 200.0f * x;
    if (isTuningFactorTag(tag)) return tuningFactor(x);
    switch (getType(tag)) {
    case kParamPercent:
        return x;
    case kParamDecibel:
        // The low end of the dB curve dips below the minimum; a modulated step keeps that dip.
        return std::pow(10.0f, naturalValueFromVSTvalue(tag, x) * 0.05f);
    default:
        return naturalValueFromVSTvalue(tag, x);
    }
}

void BrakkaParameterManager::getValueString(long tag, char* dst, int len) {
    if (!dst || len <= 0) return;
    if (!hasParameter(tag)) {
        dst[0] = 0;
        return;
    }
    const float n = getNaturalValue(tag);
    const int rounded = safeTrunc(std::floor(n + 0.5f));
    if (isFineTag(tag)) {
        char work[64];
        std::snprintf(work, sizeof work, "%4.3f", double(n));
        copyCut(dst, work, len - 1);
    } else if (tag == kPatternStepSizeTag) {
        copyCut(dst, kStepSizeStrs[safeIndex(float(rounded), 5)], len - 1);
    } else if (tag == kSyncTag) {
        copyCut(dst, kSyncStrs[safeIndex(float(rounded), 3)], len - 1);
    } else if (tag >= kFirstRandomSizeTag && tag <= kLastRandomSizeTag) {
        copyCut(dst, kRandomSizeStrs[safeIndex(float(rounded), 7)], len - 1);
    } else if (tag == kPatternTag) {
        char work[32];
        std::snprintf(work, sizeof work, "%02d", safeIndex(n + 1.0f, 100));
        copyCut(dst, work, len - 1);
    } else if (tag >= kFirstOutputTag && tag <= kLastOutputTag) {
        const char bus[2] = {static_cast<char>('A' + safeIndex(n, kNumOutputBuses)), 0};
        copyCut(dst, bus, len - 1);
    } else {
        getValueStringFromNaturalValue(tag, dst, n, len);
    }
}

int BrakkaParameterManager::getVoiceFromParamTag(unsigned int tag) {
    if (tag <= 13) return 0;
    if (tag <= 24) return 2;
    if (tag <= 28) return 1;
    if (tag <= 42) return 3;
    if (tag <= 56) return 4;
    if (tag <= 70) return 5;
    if (tag <= 72) return 10;
    if (tag <= 81) return 11;
    if (tag >= 87 && tag <= 92) return 7;
    if (tag <= 86) return 6;
    if (tag <= 105) return 8;
    if (tag <= 107) return 9;
    if (tag >= 130 && tag <= 141) return static_cast<int>(tag - 130);
    return -1;
}
