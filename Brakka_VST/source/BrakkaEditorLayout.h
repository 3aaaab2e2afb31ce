// The editor's layout: the window size, the pixel rectangle of every section and control, the
// bitmap resource numbers and the voice colours. The editor places its views from here and the
// artwork generator (tools/artgen) draws the background and the bitmaps from the same numbers,
// so the pictures and the controls cannot drift apart. Everything is in logical pixels (100 %).
#pragma once

#include "BrakkaParameterTags.h"

namespace brakka_layout {

struct Rect {
    int left, top, right, bottom;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr Rect offset(int dx, int dy) const {
        return Rect{left + dx, top + dy, right + dx, bottom + dy};
    }
};

struct RGB {
    unsigned char r, g, b;
};

constexpr int kWidth = 1080;
constexpr int kHeight = 680;

// --- bitmap resources (png, "N" at 100 % and "N@2x" at twice the pixels) ---------------------
enum Bitmap {
    kBmpBackground = 10000,
    kBmpPlay = 10001,          // 2 images: stopped, playing
    kBmpStop = 10002,          // 2 images: up, pressed
    kBmpMute = 10003,          // 2 images
    kBmpSolo = 10004,          // 2 images
    kBmpVoiceSelector = 10005, // 12 images: image k shows voice 11 - k selected
    kBmpOutputBus = 10006,     // 6 images: bus A..F lit
    kBmpSmallKnob = 10007,     // level knob face
    kBmpKnob = 10008,          // captioned knob face, neutral (transport, master)
    kBmpKnobFamily = 10009,    // 10009..10013: captioned knob faces by voice family
    kBmpSliderHandle = 10014,
    kBmpPatternCells = 10015, // 2 images: the 16 numbered cells on the well, on the selection
    kBmpPushButton = 10016,   // 2 images: nothing, pressed glow (labels are on the background)
    kBmpFillButton = 10017,   // 2 images, as the push button
    kBmpToggle = 10018,       // 2 images: LED off, on
    kBmpWaveform = 10019,     // 2 images: analogue table, sine
    kBmpWidePushButton = 10020,
    kBmpMoreCowbell = 10021, // 2 images: off, on
    kBmpAbout = 10025,
    kBmpVoicePanel = 10026, // 10026..10037: the title band of each voice's sound panel
};
constexpr int kBitmapNumbers[] = {10000, 10001, 10002, 10003, 10004, 10005, 10006, 10007, 10008,
                                  10009, 10010, 10011, 10012, 10013, 10014, 10015, 10016, 10017,
                                  10018, 10019, 10020, 10021, 10025, 10026, 10027, 10028, 10029,
                                  10030, 10031, 10032, 10033, 10034, 10035, 10036, 10037};

// --- voices ---------------------------------------------------------------------------------
// Families share a colour: kick; snares; toms; hats and cymbal; rimshot, clap and cowbell.
constexpr int kFamilies = 5;
constexpr int kVoiceFamily[kNumVoices] = {0, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
constexpr RGB kFamilyColor[kFamilies] = {
    {238, 92, 66}, {244, 160, 52}, {214, 196, 74}, {70, 196, 206}, {170, 128, 232}};
constexpr const char* kFamilyName[kFamilies] = {"BASS DRUM", "SNARE", "TOM", "METAL", "PERCUSSION"};
// Names as the artwork prints them.
constexpr const char* kVoiceTitle[kNumVoices] = {"KICKDRUM", "SNARE 8",  "SNARE 9",    "LOW TOM",
                                                 "MID TOM",  "HIGH TOM", "CLOSED HAT", "OPEN HAT",
                                                 "CYMBAL",   "RIMSHOT",  "CLAP",       "COWBELL"};

// --- header ---------------------------------------------------------------------------------
constexpr Rect kHeader{0, 0, kWidth, 72};
constexpr Rect kLogo{16, 12, 196, 60};            // the about screen opens from here
constexpr Rect kAboutDisplay{290, 150, 790, 490}; // where the about screen shows
constexpr Rect kTransportBox{212, 6, 578, 66};
constexpr Rect kPlay{226, 24, 256, 54};
constexpr Rect kStop{262, 24, 292, 54};
constexpr Rect kTempoKnob{306, 2, 366, 62}; // captioned knobs: caption at the bottom
constexpr Rect kSyncLabel{394, 16, 474, 28};
constexpr Rect kSyncMenu{394, 30, 464, 46};
constexpr Rect kSwingLabel{480, 16, 568, 28};
constexpr Rect kSwing{480, 30, 566, 44};
constexpr Rect kZoomLabel{996, 16, 1064, 28};
constexpr Rect kZoomMenu{996, 30, 1064, 46};

// --- pattern bar ----------------------------------------------------------------------------
constexpr Rect kStepSizeLabel{16, 80, 100, 92};
constexpr Rect kStepSizeMenu{16, 95, 100, 111};
constexpr Rect kPatternLabel{150, 80, 300, 92};
constexpr Rect kPatternSelector{150, 93, 694, 113};
constexpr Rect kPatternEditLabel{706, 80, 874, 92};
constexpr Rect kPatternClear{706, 93, 758, 113};
constexpr Rect kPatternCopy{764, 93, 816, 113};
constexpr Rect kPatternPaste{822, 93, 874, 113};

// --- voice rows -----------------------------------------------------------------------------
constexpr int kRowsTop = 130;
constexpr int kRowHeight = 22;
constexpr int kColumnHeadingTop = 117;
constexpr Rect kVoiceSelector{16, kRowsTop, 100, kRowsTop + kNumVoices* kRowHeight};
constexpr Rect kGrid{150, kRowsTop, 694, kRowsTop + kNumVoices* kRowHeight}; // 32 x 17 pixels
constexpr int kStepWidth = 17;
constexpr Rect kRows{16, kRowsTop, 874, kRowsTop + kNumVoices* kRowHeight};
// Row r's controls: these rectangles offset by (0, r * kRowHeight).
constexpr Rect kMute{104, kRowsTop + 3, 122, kRowsTop + 19};
constexpr Rect kSolo{126, kRowsTop + 3, 144, kRowsTop + 19};
constexpr Rect kNoteRow{150, kRowsTop + 2, 694, kRowsTop + 20};
constexpr Rect kLevel{708, kRowsTop + 1, 728, kRowsTop + 21};
constexpr Rect kPan{738, kRowsTop + 4, 802, kRowsTop + 18};
constexpr Rect kOutputBus{808, kRowsTop + 4, 874, kRowsTop + 18};
constexpr Rect rowRect(const Rect& r, int row) {
    return r.offset(0, row * kRowHeight);
}

// --- random fill panel (the selected voice's) -----------------------------------------------
constexpr Rect kRandomBox{886, 80, 1064, 394};
constexpr Rect kSelectedBeatsLabel{898, 116, 1052, 128};
constexpr Rect kSelectedBeats{898, 130, 1052, 144};
constexpr Rect kRandomBeatsLabel{898, 166, 1052, 178};
constexpr Rect kRandomBeats{898, 180, 1052, 194};
constexpr Rect kRandomSizeLabel{898, 216, 970, 228};
constexpr Rect kRandomSize{898, 230, 968, 246};
constexpr Rect kRandomVelocityLabel{982, 216, 1052, 228};
constexpr Rect kRandomVelocity{982, 230, 1052, 246};
constexpr Rect kRandomReset{898, 272, 916, 288};
constexpr Rect kRandomResetLabel{922, 274, 1052, 286};
constexpr Rect kRandomClear{898, 322, 968, 342};
constexpr Rect kRandomFill{982, 322, 1052, 342};
constexpr Rect kRandomVoiceName{960, 90, 1052, 102}; // right-aligned beside the heading

// --- value row ------------------------------------------------------------------------------
constexpr Rect kValueCaption{150, 403, 694, 415};
constexpr Rect kValueRow{150, 418, 694, 496};
constexpr Rect kFillLabel{16, 418, 146, 430};
constexpr Rect kFillButton{16, 434, 40, 454}; // shape k: offset by (k * 26, 0)
constexpr int kFillButtonSpacing = 26;
constexpr Rect kRowEnable{16, 470, 34, 486};
constexpr Rect kRowEnableLabel{40, 472, 146, 484};

// --- master section -------------------------------------------------------------------------
constexpr Rect kMasterBox{706, 404, 1064, 496};
constexpr Rect kCompressorKnob{718, 424, 778, 484};
constexpr Rect kCompressorAttackLabel{796, 440, 900, 452};
constexpr Rect kCompressorAttack{796, 456, 900, 470};
constexpr Rect kOutputAKnob{916, 424, 976, 484};
constexpr Rect kMIDIOnlyLabel{994, 440, 1062, 452};
constexpr Rect kMIDIOnly{994, 456, 1012, 472};

// --- sound panel ----------------------------------------------------------------------------
constexpr Rect kSoundBox{16, 506, 1064, 672};
constexpr Rect kVoicePanel{16, 506, 1064, 528}; // the per-voice title band
constexpr int kPanelLeft = 34;
constexpr int kKnobTop = 570; // captioned knobs: 60 x 60, caption in the bottom 12 pixels
constexpr int kKnobSize = 60;
constexpr int kKnobAdvance = 74;
constexpr int kSwitchTop = 590; // a two-state switch level with the knobs, caption as theirs
constexpr int kSwitchWidth = 60;
constexpr int kSwitchHeight = 20;
constexpr int kEnvelopeCaptionTop = 540;
constexpr int kEnvelopeTop = 554; // envelope graphs: 153 x 93
constexpr int kEnvelopeWidth = 153;
constexpr int kEnvelopeHeight = 93;
constexpr int kEnvelopeAdvance = 175;

// What a sound panel holds, left to right.
enum PanelKind { kPanelEnd = 0, kPanelKnob, kPanelSwitch, kPanelEnvelope };
struct PanelItem {
    PanelKind kind;
    const char* caption;
    // A knob or switch: its tag. An envelope: attack time, attack curve, decay time, decay
    // curve.
    int tags[4];
};
constexpr int kMaxPanelItems = 9;
constexpr PanelItem kPanels[kNumVoices][kMaxPanelItems] = {
    {{kPanelKnob, "Tune", {kKickTuneTag}},
     {kPanelKnob, "Saturation", {kKickSaturationTag}},
     {kPanelKnob, "Noise Freq", {kKickNoiseFreqTag}},
     {kPanelKnob, "Pitch Mod", {kKickPitchModTag}},
     {kPanelKnob, "Click Level", {kKickClickLevelTag}},
     {kPanelSwitch, "Waveform", {kKickWaveformTag}},
     {kPanelEnvelope,
      "Amp Envelope",
      {kKickAmpAttackTag, kKickAmpAttackCurveTag, kKickAmpDecayTag, kKickAmpDecayCurveTag}},
     {kPanelEnvelope,
      "Pitch Envelope",
      {kKickPitchAttackTag, kKickPitchAttackCurveTag, kKickPitchDecayTag,
       kKickPitchDecayCurveTag}}},
    {{kPanelKnob, "Tune", {kSnare8TuneTag}},
     {kPanelKnob, "Noise Color", {kSnare8NoiseColorTag}},
     {kPanelKnob, "Noise Level", {kSnare8NoiseLevelTag}},
     {kPanelKnob, "Noise Decay", {kSnare8NoiseDecayTag}}},
    {{kPanelKnob, "Tune", {kSnare9TuneTag}},
     {kPanelKnob, "Noise Color", {kSnare9NoiseColorTag}},
     {kPanelKnob, "Noise Level", {kSnare9NoiseLevelTag}},
     {kPanelEnvelope,
      "Noise Amp Envelope",
      {kSnare9NoiseAttackTag, kSnare9NoiseAttackCurveTag, kSnare9NoiseDecayTag,
       kSnare9NoiseDecayCurveTag}},
     {kPanelEnvelope,
      "Tone Amp Envelope",
      {kSnare9ToneAttackTag, kSnare9ToneAttackCurveTag, kSnare9ToneDecayTag,
       kSnare9ToneDecayCurveTag}}},
#define BRAKKA_TOM_PANEL(b)                                                                        \
    {                                                                                              \
        {kPanelKnob, "Tune", {b + kTomFreq}}, {kPanelKnob, "Pitch EG", {b + kTomPitchDepth}},      \
            {kPanelKnob, "Saturation", {b + kTomSaturation}},                                      \
            {kPanelKnob, "Click Lvl", {b + kTomClickLevel}},                                       \
            {kPanelKnob, "Noise Lvl", {b + kTomNoiseLevel}},                                       \
            {kPanelKnob, "Tone Lvl", {b + kTomToneLevel}},                                         \
            {kPanelEnvelope,                                                                       \
             "Tone 1 Envelope",                                                                    \
             {b + kTomTone1AttackTime, b + kTomTone1AttackCurve, b + kTomTone1DecayTime,           \
              b + kTomTone1DecayCurve}},                                                           \
        {                                                                                          \
            kPanelEnvelope, "Tone 2 Envelope", {                                                   \
                b + kTomTone2AttackTime, b + kTomTone2AttackCurve, b + kTomTone2DecayTime,         \
                    b + kTomTone2DecayCurve                                                        \
            }                                                                                      \
        }                                                                                          \
    }
    BRAKKA_TOM_PANEL(kLowTomFirstTag),
    BRAKKA_TOM_PANEL(kMidTomFirstTag),
    BRAKKA_TOM_PANEL(kHighTomFirstTag),
#undef BRAKKA_TOM_PANEL
#define BRAKKA_HAT_PANEL(b)                                                                        \
    {                                                                                              \
        {kPanelKnob, "Tune", {b + kHatTune}}, {kPanelKnob, "Decay", {b + kHatDecay}},              \
            {kPanelKnob, "BPF Freq", {b + kHatBPFFreq}},                                           \
            {kPanelKnob, "HPF Freq", {b + kHatHPFFreq}}, {                                         \
            kPanelKnob, "Noise Mix", {                                                             \
                b + kHatNoiseMix                                                                   \
            }                                                                                      \
        }                                                                                          \
    }
    BRAKKA_HAT_PANEL(kClosedHatFirstTag),
    BRAKKA_HAT_PANEL(kOpenHatFirstTag),
#undef BRAKKA_HAT_PANEL
    {{kPanelKnob, "Tune", {kCymbalTuneTag}},
     {kPanelKnob, "Noise Lvl", {kCymbalNoiseLevelTag}},
     {kPanelKnob, "Ding Lvl", {kCymbalDingLevelTag}},
     {kPanelKnob, "Low BPF", {kCymbalFreqTag}},
     {kPanelKnob, "High BPF", {kCymbalDingFreqTag}},
     {kPanelEnvelope,
      "Ding Envelope",
      {kCymbalDingAttackTag, kCymbalDingAttackCurveTag, kCymbalDingDecayTag,
       kCymbalDingDecayCurveTag}},
     {kPanelEnvelope,
      "High Envelope",
      {kCymbalAttackTag, kCymbalAttackCurveTag, kCymbalDecayTag, kCymbalDecayCurveTag}}},
    {{kPanelKnob, "Tune", {kRimshotTuneTag}}, {kPanelKnob, "HPF Freq", {kRimshotHPFFreqTag}}},
    {{kPanelKnob, "Tone", {kClapToneTag}}, {kPanelKnob, "Reverb", {kClapReverbTag}}},
    {{kPanelKnob, "Tune", {kCowbellTuneTag}},
     {kPanelKnob, "Filter Cut", {kCowbellFilterFreqTag}},
     {kPanelKnob, "Filter Q", {kCowbellFilterResonanceTag}},
     {kPanelKnob, "Detune", {kCowbellRatioTag}},
     {kPanelSwitch, "More Cowbell", {kMoreCowbellTag}},
     {kPanelEnvelope,
      "Amp Envelope",
      {kCowbellAttackTag, kCowbellAttackCurveTag, kCowbellDecayTag, kCowbellDecayCurveTag}}},
};

// Where item i of a voice's panel sits: knobs and switches advance by kKnobAdvance, envelopes
// by kEnvelopeAdvance; envelopes come after a little more space.
constexpr int panelItemLeft(int voice, int item) {
    int x = kPanelLeft;
    for (int i = 0; i < item; ++i) {
        x += kPanels[voice][i].kind == kPanelEnvelope ? kEnvelopeAdvance : kKnobAdvance;
        if (kPanels[voice][i].kind != kPanelEnvelope &&
            kPanels[voice][i + 1].kind == kPanelEnvelope)
            x += 16;
    }
    return x;
}
constexpr Rect panelItemRect(int voice, int item) {
    const int x = panelItemLeft(voice, item);
    switch (kPanels[voice][item].kind) {
    case kPanelKnob:
        return Rect{x, kKnobTop, x + kKnobSize, kKnobTop + kKnobSize};
    case kPanelSwitch:
        return Rect{x, kSwitchTop, x + kSwitchWidth, kSwitchTop + kSwitchHeight};
    case kPanelEnvelope:
        return Rect{x, kEnvelopeTop, x + kEnvelopeWidth, kEnvelopeTop + kEnvelopeHeight};
    default:
        return Rect{x, kKnobTop, x, kKnobTop};
    }
}

// Editor tags of views that are no parameter.
constexpr int kTagAbout = 264;
constexpr int kTagVoiceSelector = 265;
constexpr int kTagTempoReadout = 266;
constexpr int kTagNoteRows = 267; // + 32 x voice + step
constexpr int kTagValueRow = 652; // + step
constexpr int kTagFill = 685;     // + shape 0..4
constexpr int kTagRowEnable = 690;
constexpr int kTagPatternClear = 691;
constexpr int kTagPatternCopy = 692;
constexpr int kTagPatternPaste = 693;
constexpr int kTagVoicePanel = 694; // + voice
constexpr int kTagValueCaption = 708;
constexpr int kTagZoom = 709;

} // namespace brakka_layout
