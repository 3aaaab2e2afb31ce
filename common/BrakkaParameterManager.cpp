#include "BrakkaParameterManager.h"
#include "zusp_math.h"

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
const char* const BrakkaParameterManager::kSequencerPrefix[kNumVoices] = {
    "KD", "S8", "S9", "LT", "MT", "HT", "CH", "OH", "CY", "RS", "CL", "CB"};

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
    {kKickTuneTag, "Kickdrum Tune", "KD Tune", "Hz", 40, 110, 45, kParamLinear},
    {kKickSaturationTag, "Kickdrum Saturation", "KD Sat", "", 0, 1, 0, kParamLinear},
    {kKickAmpAttackTag, "Kickdrum Amp Attack", "KDAmpAtk", "msec", 0.1f, 50, 10, kParamLinear},
    {kKickAmpAttackCurveTag, "Kickdrum Amp Attack Curve", "KDAmpAtC", "", -1, 1, 0, kParamLinear},
    {kKickAmpDecayTag, "Kickdrum Amp Decay", "KDAmpDcy", "msec", 1, 2000, 360, kParamLinear},
    {kKickAmpDecayCurveTag, "Kickdrum Amp Decay Curve", "KDAmpDcC", "", -1, 1, -0.38f,
     kParamLinear},
    {kKickPitchAttackTag, "Kickdrum Pitch Attack", "KDPitAtk", "msec", 0.1f, 50, 10, kParamLinear},
    {kKickPitchAttackCurveTag, "Kickdrum Pitch Attack Curve", "KDPitAtC", "", -1, 1, 0,
     kParamLinear},
    {kKickPitchDecayTag, "Kickdrum Pitch Decay", "KDPitDcy", "msec", 1, 500, 200, kParamLinear},
    {kKickPitchDecayCurveTag, "Kickdrum Pitch Decay Curve", "KDPitDcC", "", -1, 1, -0.55f,
     kParamLinear},
    {kKickPitchModTag, "Kickdrum Pitch Mod", "KDPitMod", "%", 0, 100, 66, kParamPercent},
    {kKickNoiseFreqTag, "Kickdrum Noise Freq", "KDNoiFrq", "Hz", 100, 18000, 1000,
     kParamExponential},
    {kKickClickLevelTag, "Kickdrum Click Level", "KDCliLvl", "dB", -60, 0, -6, kParamDecibel},
    {kKickWaveformTag, "Kickdrum Waveform", "KDWavFrm", "", 0, 1, 0, kParamInteger},

    {kSnare9TuneTag, "Snare9 Tune", "S9 Tune", "Hz", 100, 300, 130, kParamExponential},
    {kSnare9ToneAttackTag, "Snare9 Tone Attack", "S9TonAtk", "msec", 1, 500, 200, kParamLinear},
    {kSnare9ToneAttackCurveTag, "Snare9 Tone Attack Curve", "S9TonAtC", "", -1, 1, -0.7f,
     kParamLinear},
    {kSnare9ToneDecayTag, "Snare9 Tone Decay", "S9TonDcy", "msec", 1, 500, 200, kParamLinear},
    {kSnare9ToneDecayCurveTag, "Snare9 Tone Decay Curve", "S9TonDcC", "", -1, 1, -0.7f,
     kParamLinear},
    {kSnare9NoiseColorTag, "Snare9 Noise Color", "S9nsCol", "Hz", 1500, 18000, 10000,
     kParamExponential},
    {kSnare9NoiseAttackTag, "Snare9 Noise Attack", "S9NoiAtk", "msec", 1, 500, 260, kParamLinear},
    {kSnare9NoiseAttackCurveTag, "Snare9 Noise Attack Curve", "S9NoiAtC", "", -1, 1, -0.5f,
     kParamLinear},
    {kSnare9NoiseDecayTag, "Snare9 Noise Decay", "S9NoiDcy", "msec", 1, 500, 260, kParamLinear},
    {kSnare9NoiseDecayCurveTag, "Snare9 Noise Decay Curve", "S9NoiDcC", "", -1, 1, -0.5f,
     kParamLinear},
    {kSnare9NoiseLevelTag, "Snare9 Noise Level", "S9NoiLvl", "dB", -60, 0, 0, kParamDecibel},

    {kSnare8TuneTag, "Snare8 Tune", "S8 Tune", "Hz", 80, 200, 100, kParamExponential},
    {kSnare8NoiseColorTag, "Snare8 Noise Color", "S8NoiCol", "Hz", 100, 18000, 1000,
     kParamExponential},
    {kSnare8NoiseDecayTag, "Snare8 Noise Decay", "S8NoiDcy", "msec", 1, 500, 200, kParamLinear},
    {kSnare8NoiseLevelTag, "Snare8 Noise Level", "S8NoiLvl", "dB", -60, 0, 0, kParamDecibel},

    {kClapToneTag, "Clap Tone", "CP Tone", "Hz", 500, 3000, 1000, kParamExponential},
    {kClapReverbTag, "Clap Reverb", "CPReverb", "ms", 0, 1000, 200, kParamLinear},

    {kCowbellTuneTag, "Cowbell Tune", "CB Tune", "Hz", 400, 1000, 587, kParamExponential},
    {kCowbellRatioTag, "Cowbell Ratio", "CBRatio", "", 1, 2, 1.44f, kParamLinear},
    {kCowbellAttackTag, "Cowbell Attack", "CBAtkTim", "msec", 0.01f, 5, 0.1f, kParamLinear},
    {kCowbellAttackCurveTag, "Cowbell Attack Curvature", "CBAtkCrv", "", -1, 1, -0.5f,
     kParamLinear},
    {kCowbellDecayTag, "Cowbell Decay", "CBDecay", "msec", 0.1f, 500, 200, kParamLinear},
    {kCowbellDecayCurveTag, "Cowbell Decay Curve", "CBDcyCrv", "", -1, 1, -0.5f, kParamLinear},
    {kCowbellFilterFreqTag, "Cowbell Filter Freq", "CBFilFrq", "Hz", 400, 10000, 2640,
     kParamExponential},
    {kCowbellFilterResonanceTag, "Cowbell Filter Resonance", "CBFilRes", "", 0, 0.5f, 0.05f,
     kParamLinear},
    {kMoreCowbellTag, "More Cowbell", "CB More", "", 0, 1, 0, kParamOnOff},

    {kClosedHatFirstTag + kHatBPFFreq, "CHH BPF Freq", "CHBPFFrq", "Hz", 1000, 18000, 5000,
     kParamExponential},
    {kClosedHatFirstTag + kHatHPFFreq, "CHH HPF Freq", "CHHPFFrq", "Hz", 1000, 18000, 5000,
     kParamExponential},
    {kClosedHatFirstTag + kHatTune, "CHH Tune", "CH Tune", "", 0, 1, 0.5f, kParamLinear},
    {kClosedHatFirstTag + kHatNoiseMix, "CHH Noise Mix", "CHNoiMix", "%", 0, 100, 50,
     kParamPercent},
    {kClosedHatFirstTag + kHatDecay, "CHH Decay", "CHDecay", "msec", 1, 1000, 100, kParamLinear},

    {kOpenHatFirstTag + kHatBPFFreq, "OHH BPF Freq", "OHBPFFrq", "Hz", 1000, 18000, 5000,
     kParamExponential},
    {kOpenHatFirstTag + kHatHPFFreq, "OHH HPF Freq", "OHHPFFrq", "Hz", 1000, 18000, 5000,
     kParamExponential},
    {kOpenHatFirstTag + kHatTune, "OHH Tune", "OH Tune", "", 0, 1, 0.5f, kParamLinear},
    {kOpenHatFirstTag + kHatNoiseMix, "OHH Noise Mix", "OHNoiMix", "%", 0, 100, 50, kParamPercent},
    {kOpenHatFirstTag + kHatDecay, "OHH Decay", "OHDecay", "msec", 1, 2000, 400, kParamLinear},
    {kOpenHatFirstTag + kHatDecayCurve, "OHH Decay Curve", "OHDcyCrv", "", -1, 1, -0.5f,
     kParamLinear},

    {kCymbalTuneTag, "Cymbal Tuning", "CY Tune", "", 0, 1, 0.5f, kParamLinear},
    {kCymbalNoiseLevelTag, "Cymbal Noise Level", "CY Noise", "dB", -60, 0, -10, kParamDecibel},
    {kCymbalDingLevelTag, "Cymbal Ding Level", "CY Ding", "dB", -60, 0, -10, kParamDecibel},
    {kCymbalFreqTag, "Cymbal Freq", "CY Freq", "Hz", 1000, 9000, 7000, kParamExponential},
    {kCymbalAttackTag, "Cymbal Attack Time", "CYAtkTim", "msec", 0.01f, 5, 0.1f, kParamLinear},
    {kCymbalAttackCurveTag, "Cymbal Attack Curvature", "CYAtkCrv", "", -1, 1, -0.5f, kParamLinear},
    {kCymbalDecayTag, "Cymbal Decay Time", "CYDcyTim", "msec", 10, 4000, 2000, kParamLinear},
    {kCymbalDecayCurveTag, "Cymbal Decay Curvature", "CYDcyCrv", "", -1, 1, -0.8f, kParamLinear},
    {kCymbalDingFreqTag, "Cymbal Ding Freq", "CYDingFr", "Hz", 1000, 9000, 7000, kParamExponential},
    {kCymbalDingAttackTag, "Cymbal Ding Attack Time", "CYDgAtTm", "msec", 0.01f, 5, 0.1f,
     kParamLinear},
    {kCymbalDingAttackCurveTag, "Cymbal Ding Attack Curvature", "CYDgAtCv", "", -1, 1, -0.5f,
     kParamLinear},
    {kCymbalDingDecayTag, "Cymbal Ding Decay Time", "CYDgDyTm", "msec", 5, 200, 10, kParamLinear},
    {kCymbalDingDecayCurveTag, "Cymbal Ding Decay Curvature", "CUDgDyCv", "", -1, 1, -0.9f,
     kParamLinear},

    {kRimshotTuneTag, "Rimshot Tune", "RS Tune", "", 0, 1, 0.5f, kParamLinear},
    {kRimshotHPFFreqTag, "Rimshot HPF Freq", "RSHPFFrq", "Hz", 100, 2000, 1000, kParamExponential},
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

const TomRow kTomRows[kTomTagCount] = {
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
    {kLowTomFirstTag, "Low Tom", "LT", 40, 80, 55},
    {kMidTomFirstTag, "Mid Tom", "MT", 60, 100, 75},
    {kHighTomFirstTag, "High Tom", "HT", 80, 120, 95},
};

// Voice words of the per-voice families: long-name word, mixer prefix, sequencer prefix.
const char* const kVoiceWord[kNumVoices] = {
    "Kickdrum",        "Snare 8",       "Snare 9", "Low Tom", "Mid Tom", "High Tom",
    "Closed High Hat", "Open High Hat", "Cymbal",  "Rimshot", "Clap",    "Cowbell"};
const char* const kMixerPrefix[kNumVoices] = {"KD",  "S8",  "S9", "LT", "MT", "HT",
                                              "CHH", "OHH", "CY", "RS", "CL", "CB"};

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
    {kLevelTag, kMixerWords, " Level", " Level", "dB", -60, 0, 0, kParamDecibel},
    {kPanTag, kMixerWords, " Pan", " Pan", "", 0, 1, 0.5f, kParamLinear},
    {kOutputTag, kMixerWords, " Output", " Out", "", 0, kNumOutputBuses - 1, 0,
     kParamLinear}, // law per voice below
    {kMuteTag, kMixerWords, " Mute", " Mute", "", 0, 1, 0, kParamOnOff},
    {kSoloTag, kMixerWords, " Solo", " Solo", "", 0, 1, 0, kParamOnOff},
    {kSelectedBeatsTag, kSeqWords, " Selected Beats", "selbts", "%", 0, 100, 100, kParamPercent},
    {kRandomBeatsTag, kSeqWords, " Random Beats", "rndbts", "%", 0, 100, 0, kParamPercent},
    {kRandomSizeTag, kSeqWords, " Random Size", "rndsz", "", 0, 6, 2, kParamInteger},
    {kRandomVelocityTag, kSeqWords, " Random Velocity", "rndvel", "", 0, kMaxRandomVelocity, 1,
     kParamLinear},
    {kClearTag, kSeqWords, " Clear", " Clear", "", 0, 1, 0, kParamOnOff},
    {kRandomFillTag, kSeqWords, " Random Fill", " Rand", "", 0, 1, 0, kParamOnOff},
    {kRandomResetTag, kSeqWords, " Random Reset", "rndrst", "", 0, 1, 0, kParamOnOff},
};

// The outputs of rimshot, clap and cowbell select their bus by rounding; the others truncate.
const int kFirstIntegerOutputVoice = 9; // rimshot

bool isTomPitchDepth(long tag) {
    return tag == kLowTomFirstTag + kTomPitchDepth || tag == kMidTomFirstTag + kTomPitchDepth ||
           tag == kHighTomFirstTag + kTomPitchDepth;
}
bool isTuningFactorTag(long tag) {
    return tag == kClosedHatFirstTag + kHatTune || tag == kCymbalTuneTag || tag == kRimshotTuneTag;
}
// Curve-like parameters shown with three decimals.
bool isFineTag(long tag) {
    switch (tag) {
    case kKickSaturationTag:
    case kKickAmpAttackCurveTag:
    case kKickAmpDecayCurveTag:
    case kKickPitchAttackCurveTag:
    case kKickPitchDecayCurveTag:
    case kCowbellRatioTag:
    case kCowbellDecayCurveTag:
    case kCowbellFilterResonanceTag:
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

    for (unsigned int tag = 0; tag < kNumSoundTags; ++tag)
        modulatableTags.insert(tag);
    for (unsigned int voice = 0; voice < kNumVoices; ++voice)
        modulatableTags.insert(kPanTag + voice);

    patternTags.insert(kStepSizeTag);
    for (unsigned int voice = 0; voice < kNumVoices; ++voice) {
        patternTags.insert(kSelectedBeatsTag + voice);
        patternTags.insert(kRandomBeatsTag + voice);
        patternTags.insert(kRandomVelocityTag + voice);
        patternTags.insert(kRandomSizeTag + voice);
        patternTags.insert(kRandomResetTag + voice);
    }
    for (unsigned int tag : modulatableTags)
        modulatableFlag[tag] = true;
    for (unsigned int tag : patternTags)
        patternTagFlag[tag] = true;

    for (int pattern = 0; pattern < kNumPatterns; ++pattern)
        createState(patternTags);

    const double pi = std::acos(-1.0);
    for (int i = 0; i < kPanLawSize; ++i) {
        panLawLeft[i] = static_cast<float>(std::cos(i * pi / 2000.0));
        panLawRight[i] = static_cast<float>(std::sin(i * pi / 2000.0));
    }
}

BrakkaParameterManager::~BrakkaParameterManager() = default;

void BrakkaParameterManager::createSoundParameters() {
    for (const ParamRow& r : kSoundRows)
        newParameter(r.tag, r.longName, r.shortName, r.units, r.min, r.max, r.def, r.type);

    for (const TomVoice& tom : kToms) {
        for (int i = 0; i < kTomTagCount; ++i) {
            const TomRow& r = kTomRows[i];
            const long tag = tom.firstTag + i;
            std::string longName = std::string(tom.word) + r.longSuffix;
            std::string shortName = std::string(tom.prefix) + r.shortSuffix;
            // Two short names of the high tom carry an extra letter.
            if (tag == kHighTomFirstTag + kTomPitchDepth) shortName = "HTTptchDpt";
            if (tag == kHighTomFirstTag + kTomNoiseLevel) shortName = "HTTnoisLv";
            float lo = r.min, hi = r.max, def = r.def;
            if (i == kTomFreq) {
                lo = tom.freqMin;
                hi = tom.freqMax;
                def = tom.freqDef;
            }
            newParameter(tag, longName.c_str(), shortName.c_str(), r.units, lo, hi, def, r.type);
        }
    }
}

void BrakkaParameterManager::createGlobalParameters() {
    newParameter(kStepSizeTag, "Pattern Step Size", "Stepsize", "", 0, 4, 0, kParamInteger);
    newParameter(kPlayTag, "Play", "Play", "", 0, 1, 0, kParamLinear);
    newParameter(kStopTag, "Stop", "Stop", "", 0, 1, 0, kParamOnOff);
    newParameter(kTempoTag, "Tempo", "Tempo", "BPM", 50, 250, 120, kParamLinear);
    newParameter(kSwingTag, "Swing", "Swing", "%", 0, 100, 0, kParamPercent);
    newParameter(kSyncTag, "Sync", "Sync", "", 0, 2, 0, kParamInteger);
    newParameter(kPatternTag, "Pattern", "Pattern", "", 0, kNumPatterns - 1, 0, kParamInteger);
    newParameter(kOutputATag, "Output A", "Out A", "dB", -60, 3, 0, kParamDecibel);
    newParameter(kCompressorTag, "Compressor", "Compress", "", 0, 100, 0, kParamLinear);
    newParameter(kCompressorAttackTag, "Compressor Attack", "Comp Att", "ms", 0.001f, 10, 0.001f,
                 kParamLinear);
    newParameter(kMIDIOutputOnlyTag, "MIDI Output Only", "MIDIOnly", "", 0, 1, 0, kParamOnOff);
}

void BrakkaParameterManager::createVoiceFamilies() {
    for (const FamilyRow& f : kFamilies) {
        for (int voice = 0; voice < kNumVoices; ++voice) {
            const bool seq = f.words == kSeqWords;
            std::string longName =
                std::string(seq ? kSequencerPrefix[voice] : kVoiceWord[voice]) + f.longSuffix;
            std::string shortName =
                std::string(seq ? kSequencerPrefix[voice] : kMixerPrefix[voice]) + f.shortSuffix;
            zu_paramTypes type = f.type;
            if (f.base == kOutputTag && voice >= kFirstIntegerOutputVoice) type = kParamInteger;
            newParameter(f.base + voice, longName.c_str(), shortName.c_str(), f.units, f.min, f.max,
                         f.def, type);
        }
    }
}

float BrakkaParameterManager::getDSPValue(long tag) {
    if (!hasParameter(tag)) return 0.0f;
    return dspLaw(tag, getVSTvalue(tag), getNaturalValue(tag));
}

float BrakkaParameterManager::dspValueOfVSTvalue(long tag, float v) {
    if (!hasParameter(tag)) return 0.0f;
    if (std::isnan(v)) v = 0.0f; // as setVSTvalue stores it
    return dspLaw(tag, v, naturalValueFromVSTvalue(tag, v));
}

float BrakkaParameterManager::dspLaw(long tag, float vst, float natural) {
    // Stored VST values are kept as given; the special laws read them limited to [0, 1].
    const float v = clampTo(vst, 0.0f, 1.0f);
    if (tag == kKickPitchModTag) return 150.0f * v;
    if (isTomPitchDepth(tag)) return 200.0f * v;
    if (isTuningFactorTag(tag)) return tuningFactor(v);
    if (tag == kStepSizeTag) return static_cast<float>(kSeqStepSizes[safeIndex(natural, 5)]);
    if (tag == kSwingTag) return (1.0f - v) * 0.8f + 0.2f;
    if (isFamilyTag(tag, kRandomSizeTag))
        return static_cast<float>(kRandomStepSizes[safeIndex(natural, 7)]);
    return dspValueFromNaturalValue(tag, natural);
}

float BrakkaParameterManager::decibelGain(float dB) {
    return zusp_math::powf(10.0f, dB / 20.0f);
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
        return zusp_math::powf(10.0f, naturalValueFromVSTvalue(tag, x) * 0.05f);
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
    } else if (tag == kStepSizeTag) {
        copyCut(dst, kStepSizeStrs[safeIndex(float(rounded), 5)], len - 1);
    } else if (tag == kSyncTag) {
        copyCut(dst, kSyncStrs[safeIndex(float(rounded), 3)], len - 1);
    } else if (isFamilyTag(tag, kRandomSizeTag)) {
        copyCut(dst, kRandomSizeStrs[safeIndex(float(rounded), 7)], len - 1);
    } else if (tag == kPatternTag) {
        char work[32];
        std::snprintf(work, sizeof work, "%02d", safeIndex(n + 1.0f, 100));
        copyCut(dst, work, len - 1);
    } else if (isFamilyTag(tag, kOutputTag)) {
        const char bus[2] = {static_cast<char>('A' + safeIndex(n, kNumOutputBuses)), 0};
        copyCut(dst, bus, len - 1);
    } else {
        getValueStringFromNaturalValue(tag, dst, n, len);
    }
}

int BrakkaParameterManager::getVoiceFromParamTag(unsigned int tag) {
    // The sound-tag blocks in tag order: the last tag of each, and its voice.
    static const struct {
        unsigned int lastTag;
        int voice;
    } kSoundBlocks[] = {
        {kKickWaveformTag, 0},                            // kick
        {kSnare9NoiseLevelTag, 2},                        // snare 9
        {kSnare8NoiseLevelTag, 1},                        // snare 8
        {kMidTomFirstTag - 1, 3},                         // low tom
        {kHighTomFirstTag - 1, 4},                        // mid tom
        {kHighTomFirstTag + kTomTagCount - 1, 5},         // high tom
        {kClapReverbTag, 10},                             // clap
        {kMoreCowbellTag, 11},                            // cowbell
        {kClosedHatFirstTag + kClosedHatTagCount - 1, 6}, // closed hat
        {kOpenHatFirstTag + kOpenHatTagCount - 1, 7},     // open hat
        {kCymbalDingDecayCurveTag, 8},                    // cymbal
        {kRimshotHPFFreqTag, 9},                          // rimshot
    };
    for (const auto& block : kSoundBlocks)
        if (tag <= block.lastTag) return block.voice;
    if (isFamilyTag(tag, kPanTag)) return static_cast<int>(tag - kPanTag);
    return -1;
}
