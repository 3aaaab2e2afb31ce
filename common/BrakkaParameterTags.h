// BrakkaParameterTags: the names of the parameter table's tags and the instrument's counts.
//
// A tag names one parameter everywhere: host parameter index, editor control tag, MIDI
// assignments file, modulation rows and chunks. Tags never change meaning. The engine, the voice
// routing, the table (BrakkaParameterManager), the bank generator and the editor all use these
// names; no other place spells a tag as a number.
//
// Layout of the tag space: 0..107 the voices' sound parameters, 108..117 global parameters,
// 118..261 twelve per-voice families of twelve tags (first tag + voice index), 262 MIDI Output
// Only.
#pragma once

// --- counts ---------------------------------------------------------------------------------
inline constexpr int kNumParameters = 263;
inline constexpr int kNumVoices = 12;
inline constexpr int kNumPatterns = 16;
inline constexpr int kNumSteps = 32;    // steps of a pattern row
inline constexpr int kNumPrograms = 48; // programs of a bank

// MIDI note of each voice, in voice-index order (BrakkaVoiceBank): the note that plays it from MIDI
// input and the note sent for it.
inline constexpr unsigned char kMIDInote[kNumVoices] = {36, 38, 40, 41, 43, 45,
                                                        42, 46, 49, 37, 39, 51};

// --- sound parameters (0..107) --------------------------------------------------------------
inline constexpr int kKickTuneTag = 0;
inline constexpr int kKickSaturationTag = 1;
inline constexpr int kKickAmpAttackTag = 2;
inline constexpr int kKickAmpAttackCurveTag = 3;
inline constexpr int kKickAmpDecayTag = 4;
inline constexpr int kKickAmpDecayCurveTag = 5;
inline constexpr int kKickPitchAttackTag = 6;
inline constexpr int kKickPitchAttackCurveTag = 7;
inline constexpr int kKickPitchDecayTag = 8;
inline constexpr int kKickPitchDecayCurveTag = 9;
inline constexpr int kKickPitchModTag = 10;
inline constexpr int kKickNoiseFreqTag = 11;
inline constexpr int kKickClickLevelTag = 12;
inline constexpr int kKickWaveformTag = 13;

inline constexpr int kSnare9TuneTag = 14;
inline constexpr int kSnare9ToneAttackTag = 15;
inline constexpr int kSnare9ToneAttackCurveTag = 16;
inline constexpr int kSnare9ToneDecayTag = 17;
inline constexpr int kSnare9ToneDecayCurveTag = 18;
inline constexpr int kSnare9NoiseColorTag = 19;
inline constexpr int kSnare9NoiseAttackTag = 20;
inline constexpr int kSnare9NoiseAttackCurveTag = 21;
inline constexpr int kSnare9NoiseDecayTag = 22;
inline constexpr int kSnare9NoiseDecayCurveTag = 23;
inline constexpr int kSnare9NoiseLevelTag = 24;

inline constexpr int kSnare8TuneTag = 25;
inline constexpr int kSnare8NoiseColorTag = 26;
inline constexpr int kSnare8NoiseDecayTag = 27;
inline constexpr int kSnare8NoiseLevelTag = 28;

// The three toms share one block of fourteen parameters: first tag of the tom + offset.
inline constexpr int kLowTomFirstTag = 29;
inline constexpr int kMidTomFirstTag = 43;
inline constexpr int kHighTomFirstTag = 57;
enum BrakkaTomParameter {
    kTomFreq = 0,
    kTomPitchDepth,
    kTomClickLevel,
    kTomNoiseLevel,
    kTomToneLevel,
    kTomSaturation,
    kTomTone1AttackTime,
    kTomTone1AttackCurve,
    kTomTone1DecayTime,
    kTomTone1DecayCurve,
    kTomTone2AttackTime,
    kTomTone2AttackCurve,
    kTomTone2DecayTime,
    kTomTone2DecayCurve,
    kTomTagCount
};

inline constexpr int kClapToneTag = 71;
inline constexpr int kClapReverbTag = 72;

inline constexpr int kCowbellTuneTag = 73;
inline constexpr int kCowbellRatioTag = 74;
inline constexpr int kCowbellAttackTag = 75;
inline constexpr int kCowbellAttackCurveTag = 76;
inline constexpr int kCowbellDecayTag = 77;
inline constexpr int kCowbellDecayCurveTag = 78;
inline constexpr int kCowbellFilterFreqTag = 79;
inline constexpr int kCowbellFilterResonanceTag = 80;
inline constexpr int kMoreCowbellTag = 81;

// The two hats share one block: first tag of the hat + offset; only the open hat has a decay
// curve.
inline constexpr int kClosedHatFirstTag = 82;
inline constexpr int kOpenHatFirstTag = 87;
enum BrakkaHatParameter {
    kHatBPFFreq = 0,
    kHatHPFFreq,
    kHatTune,
    kHatNoiseMix,
    kHatDecay,
    kHatDecayCurve
};
inline constexpr int kClosedHatTagCount = 5;
inline constexpr int kOpenHatTagCount = 6;

inline constexpr int kCymbalTuneTag = 93;
inline constexpr int kCymbalNoiseLevelTag = 94;
inline constexpr int kCymbalDingLevelTag = 95;
inline constexpr int kCymbalFreqTag = 96;
inline constexpr int kCymbalAttackTag = 97;
inline constexpr int kCymbalAttackCurveTag = 98;
inline constexpr int kCymbalDecayTag = 99;
inline constexpr int kCymbalDecayCurveTag = 100;
inline constexpr int kCymbalDingFreqTag = 101;
inline constexpr int kCymbalDingAttackTag = 102;
inline constexpr int kCymbalDingAttackCurveTag = 103;
inline constexpr int kCymbalDingDecayTag = 104;
inline constexpr int kCymbalDingDecayCurveTag = 105;

inline constexpr int kRimshotTuneTag = 106;
inline constexpr int kRimshotHPFFreqTag = 107;

inline constexpr int kNumSoundTags = 108;
inline constexpr int kLastSoundTag = kNumSoundTags - 1;

// --- global parameters ----------------------------------------------------------------------
inline constexpr int kStepSizeTag = 108;
inline constexpr int kPlayTag = 109;
inline constexpr int kStopTag = 110;
inline constexpr int kTempoTag = 111;
inline constexpr int kSwingTag = 112;
inline constexpr int kSyncTag = 113;
inline constexpr int kPatternTag = 114;
inline constexpr int kOutputATag = 115;
inline constexpr int kCompressorTag = 116;
inline constexpr int kCompressorAttackTag = 117;
inline constexpr int kMIDIOutputOnlyTag = 262;

// --- per-voice families: the tag of voice v is the family's first tag + v -------------------
inline constexpr int kLevelTag = 118;
inline constexpr int kPanTag = 130;
inline constexpr int kOutputTag = 142;
inline constexpr int kMuteTag = 154;
inline constexpr int kSoloTag = 166;
inline constexpr int kSelectedBeatsTag = 178;
inline constexpr int kRandomBeatsTag = 190;
inline constexpr int kRandomSizeTag = 202;
inline constexpr int kRandomVelocityTag = 214;
inline constexpr int kClearTag = 226;
inline constexpr int kRandomFillTag = 238;
inline constexpr int kRandomResetTag = 250;
inline constexpr int kFirstFamilyTag = kLevelTag;
inline constexpr int kLastFamilyTag = kRandomResetTag + kNumVoices - 1; // 261

// Whether tag belongs to the family whose first tag is first.
constexpr bool isFamilyTag(long tag, int first) {
    return tag >= first && tag < first + kNumVoices;
}
constexpr bool isVoiceFamilyTag(long tag) {
    return tag >= kFirstFamilyTag && tag <= kLastFamilyTag;
}
// The first tag of the family of a per-voice family tag; the voice is tag - familyFirstTag(tag).
constexpr int familyFirstTag(long tag) {
    return kFirstFamilyTag + (int)(tag - kFirstFamilyTag) / kNumVoices * kNumVoices;
}

// --- value ranges read by the engine and the editor -----------------------------------------
inline constexpr int kNumOutputBuses = 6;
inline constexpr int kMaxRandomVelocity = 127; // natural maximum of the Random Velocity family
