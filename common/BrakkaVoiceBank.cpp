// Routing of the sound parameters to the voices.
#include "BrakkaVoiceBank.h"

#include <cmath>
#include <limits>

namespace {
// First tag of each tom's and hat's block; the offset from it selects the operation.
const int kLowTomFirstTag = 29;
const int kMidTomFirstTag = 43;
const int kHighTomFirstTag = 57;
const int kTomTagCount = 14;
const int kClosedHatFirstTag = 82;
const int kOpenHatFirstTag = 87;
const int kOpenHatLastTag = 92;
const int kLastSoundTag = 107;
} // namespace

BrakkaVoiceBank::BrakkaVoiceBank()
    : voices{&kick,      &snare808, &snare909, &lowTom,  &midTom, &highTom,
             &closedHat, &openHat,  &cymbal,   &rimshot, &claps,  &cowbell} {
    for (float& hz : mRoutedCutoff)
        hz = std::numeric_limits<float>::quiet_NaN();
}

void BrakkaVoiceBank::setAudioSamplingRate(float rate) {
    if (!std::isfinite(rate) || rate < 8000.0f) return;
    mSamplingRate = rate;
    for (brakka_voice* v : voices)
        v->setAudioSamplingRate(rate);
    // A cutoff that was held below half of an earlier, lower rate gets its value back. Tags that
    // carry no cutoff, or none yet, hold a NaN, which setVoiceParameter ignores.
    for (int tag = 0; tag < kNumSoundTags; ++tag)
        setVoiceParameter(tag, mRoutedCutoff[tag]);
}

brakka_voice* BrakkaVoiceBank::getVoice(int index) const {
    if (index < 0 || index >= kNumVoices) return nullptr;
    return voices[index];
}

// A biquad whose cutoff reaches half the sampling rate turns unstable, and one at or below 0 Hz
// is useless; the parameters never ask for either at common rates, but stepped modulation at a
// low host rate could.
float BrakkaVoiceBank::cutoff(int tag, float hz) {
    mRoutedCutoff[tag] = hz;
    float hi = 0.45f * mSamplingRate;
    if (!(hz >= 10.0f)) return 10.0f;
    return hz > hi ? hi : hz;
}

void BrakkaVoiceBank::setVoiceParameter(int tag, float v) {
    if (tag < 0 || tag > kLastSoundTag || !std::isfinite(v)) return;

    if (tag >= kLowTomFirstTag && tag < kHighTomFirstTag + kTomTagCount) {
        if (tag < kMidTomFirstTag)
            setTomParameter(lowTom, tag - kLowTomFirstTag, v);
        else if (tag < kHighTomFirstTag)
            setTomParameter(midTom, tag - kMidTomFirstTag, v);
        else
            setTomParameter(highTom, tag - kHighTomFirstTag, v);
        return;
    }
    if (tag >= kClosedHatFirstTag && tag < kOpenHatFirstTag) {
        setHatParameter(closedHat, kClosedHatFirstTag, tag, v);
        return;
    }
    if (tag >= kOpenHatFirstTag && tag <= kOpenHatLastTag) {
        setHatParameter(openHat, kOpenHatFirstTag, tag, v);
        return;
    }

    switch (tag) {
    // Kick
    case 0:
        kick.setToneFrequency(v);
        break;
    case 1:
        kick.setToneSaturation(v);
        break;
    case 2:
        kick.setVolumeAttackTime(v);
        break;
    case 3:
        kick.setVolumeAttackCurvature(v);
        break;
    case 4:
        kick.setVolumeDecayTime(v);
        break;
    case 5:
        kick.setVolumeDecayCurvature(v);
        break;
    case 6:
        kick.setPitchAttackTime(v);
        break;
    case 7:
        kick.setPitchAttackCurvature(v);
        break;
    case 8:
        kick.setPitchDecayTime(v);
        break;
    case 9:
        kick.setPitchDecayCurvature(v);
        break;
    case 10:
        kick.setToneBendDepth(v);
        break;
    case 11:
        kick.setNoiseFrequency(cutoff(11, v));
        break;
    case 12:
        kick.setClickGain(v);
        break;
    case 13:
        kick.setWaveshape(v >= 1.0f ? 1 : 0);
        break; // trunc(v) of 0 .. 1

    // Snare 9. Tags 15, 16, 20 and 21 (the attack settings) are deliberately not connected: the
    // voice keeps its construction attacks, which the parameters' defaults would ruin.
    case 14:
        snare909.setToneFrequency(v);
        break;
    case 17:
        snare909.setToneDecayTime(v);
        break;
    case 18:
        snare909.setToneDecayCurvature(v);
        break;
    case 19:
        snare909.lowNoiseFilter.setFrequency(cutoff(19, v));
        break;
    case 22:
        snare909.setNoiseDecayTime(v);
        break;
    case 23:
        snare909.setNoiseDecayCurvature(v);
        break;
    case 24:
        snare909.setNoiseGain(v);
        break;

    // Snare 8
    case 25:
        snare808.setToneFrequency(v);
        break;
    case 26:
        snare808.noiseFilter.setFrequency(cutoff(26, v));
        break;
    case 27:
        snare808.setNoiseDecayTime(v);
        break;
    case 28:
        snare808.setNoiseGain(v);
        break;

    // Clap
    case 71:
        claps.setTone(cutoff(71, v));
        break;
    case 72:
        claps.setReverb(v);
        break;

    // Cowbell. Tags 75 and 76 (attack) are not connected, like the snare's attacks; tag 81
    // ("More Cowbell") is a mixer matter for the engine.
    case 73:
        cowbell.setToneFrequency(v);
        break;
    case 74:
        cowbell.setRatio(v);
        break;
    case 77:
        cowbell.setVolumeDecayTime(v);
        break;
    case 78:
        cowbell.setVolumeDecayCurvature(v);
        break;
    case 79:
        cowbell.bandPass.setFrequency(cutoff(79, v));
        break;
    case 80: // 0 to 0.5 gives Q 1 to 4.5; a negative value would make the filter unstable
        cowbell.bandPass.setResonance(7.0f * (v < 0.0f ? 0.0f : v) + 1.0f);
        break;

    // Cymbal
    case 93:
        cymbal.setTuning(v);
        break;
    case 94:
        cymbal.setNoiseMix(v);
        break;
    case 95:
        cymbal.setDingVolume(v);
        break;
    case 96:
        cymbal.setBPF2Frequency(cutoff(96, v));
        break;
    case 97:
        cymbal.setVolumeAttackTime(v);
        break;
    case 98:
        cymbal.setVolumeAttackCurvature(v);
        break;
    case 99:
        cymbal.setVolumeDecayTime(v);
        break;
    case 100:
        cymbal.setVolumeDecayCurvature(v);
        break;
    case 101:
        cymbal.setBPF1Frequency(cutoff(101, v));
        break;
    case 102:
        cymbal.setDingAttackTime(v);
        break;
    case 103:
        cymbal.setDingAttackCurvature(v);
        break;
    case 104:
        cymbal.setDingDecayTime(v);
        break;
    case 105:
        cymbal.setDingDecayCurvature(v);
        break;

    // Rimshot
    case 106:
        rimshot.setTuning(v);
        break;
    case 107:
        rimshot.highPass.setFrequency(cutoff(107, v));
        break;

    default:
        break; // 15, 16, 20, 21, 75, 76, 81: nothing
    }
}

void BrakkaVoiceBank::setTomParameter(brakka_voice_tom& tom, int offset, float v) {
    switch (offset) {
    case 0:
        tom.setToneFrequency(v);
        break; // fundamental v, overtone 1.8333 v, click tone 3 v
    case 1:
        tom.setToneBendDepth(v);
        break;
    case 2:
        tom.setClickGain(v);
        break;
    case 3:
        tom.setNoiseGain(v);
        break;
    case 4:
        tom.setToneGain(v);
        break;
    case 5:
        tom.setClipping(v);
        break;
    case 6:
        tom.setOsc1AttackTime(v);
        break;
    case 7:
        tom.setOsc1AttackCurvature(v);
        break;
    case 8:
        tom.setOsc1DecayTime(v);
        break;
    case 9:
        tom.setOsc1DecayCurvature(v);
        break;
    case 10:
        tom.setOsc2AttackTime(v);
        break;
    case 11:
        tom.setOsc2AttackCurvature(v);
        break;
    case 12:
        tom.setOsc2DecayTime(v);
        break;
    case 13:
        tom.setOsc2DecayCurvature(v);
        break;
    default:
        break;
    }
}

void BrakkaVoiceBank::setHatParameter(brakka_voice_hihat& hat, int firstTag, int tag, float v) {
    switch (tag - firstTag) {
    case 0:
        hat.setBPFFrequency(cutoff(tag, v));
        break;
    case 1:
        hat.setHPFFrequency(cutoff(tag, v));
        break;
    case 2:
        hat.setTuning(v);
        break; // a factor 0.5 to 2 for the closed hat, 0 to 1 for the open
    case 3:
        hat.setNoiseMix(v);
        break;
    case 4:
        hat.setVolumeDecayTime(v);
        break;
    case 5:
        hat.setVolumeDecayCurvature(v);
        break; // open hat only (tag 92)
    default:
        break;
    }
}
