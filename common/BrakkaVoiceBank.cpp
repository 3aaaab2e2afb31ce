// Routing of the sound parameters to the voices.
#include "BrakkaVoiceBank.h"

#include <cmath>
#include <limits>

BrakkaVoiceBank::BrakkaVoiceBank()
    : voices{&kick,      &snare808, &snare909, &lowTom,  &midTom, &highTom,
             &closedHat, &openHat,  &cymbal,   &rimshot, &claps,  &cowbell} {
    for (float& hz : routedCutoff)
        hz = std::numeric_limits<float>::quiet_NaN();
}

void BrakkaVoiceBank::setAudioSamplingRate(float rate) {
    if (!std::isfinite(rate) || rate < 8000.0f) return;
    samplingRate = rate;
    for (brakka_voice* v : voices)
        v->setAudioSamplingRate(rate);
    // A cutoff that was held below half of an earlier, lower rate gets its value back. Tags that
    // carry no cutoff, or none yet, hold a NaN, which setVoiceParameter ignores.
    for (int tag = 0; tag < kNumSoundTags; ++tag)
        setVoiceParameter(tag, routedCutoff[tag]);
}

brakka_voice* BrakkaVoiceBank::getVoice(int index) const {
    if (index < 0 || index >= kNumVoices) return nullptr;
    return voices[index];
}

// A biquad whose cutoff reaches half the sampling rate turns unstable, and one at or below 0 Hz
// is useless; the parameters never ask for either at common rates, but stepped modulation at a
// low host rate could.
float BrakkaVoiceBank::cutoff(int tag, float hz) {
    routedCutoff[tag] = hz;
    float hi = 0.45f * samplingRate;
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
    if (tag >= kOpenHatFirstTag && tag < kOpenHatFirstTag + kOpenHatTagCount) {
        setHatParameter(openHat, kOpenHatFirstTag, tag, v);
        return;
    }

    switch (tag) {
    // Kick
    case kKickTuneTag:
        kick.setToneFrequency(v);
        break;
    case kKickSaturationTag:
        kick.setToneSaturation(v);
        break;
    case kKickAmpAttackTag:
        kick.setVolumeAttackTime(v);
        break;
    case kKickAmpAttackCurveTag:
        kick.setVolumeAttackCurvature(v);
        break;
    case kKickAmpDecayTag:
        kick.setVolumeDecayTime(v);
        break;
    case kKickAmpDecayCurveTag:
        kick.setVolumeDecayCurvature(v);
        break;
    case kKickPitchAttackTag:
        kick.setPitchAttackTime(v);
        break;
    case kKickPitchAttackCurveTag:
        kick.setPitchAttackCurvature(v);
        break;
    case kKickPitchDecayTag:
        kick.setPitchDecayTime(v);
        break;
    case kKickPitchDecayCurveTag:
        kick.setPitchDecayCurvature(v);
        break;
    case kKickPitchModTag:
        kick.setToneBendDepth(v);
        break;
    case kKickNoiseFreqTag:
        kick.setNoiseFrequency(cutoff(kKickNoiseFreqTag, v));
        break;
    case kKickClickLevelTag:
        kick.setClickGain(v);
        break;
    case kKickWaveformTag:
        kick.setWaveshape(v >= 1.0f ? 1 : 0); // trunc(v) of 0 .. 1
        break;

    // Snare 9. Its tone and noise attack tags are deliberately not connected: the
    // voice keeps its construction attacks, which the parameters' defaults would ruin.
    case kSnare9TuneTag:
        snare909.setToneFrequency(v);
        break;
    case kSnare9ToneDecayTag:
        snare909.setToneDecayTime(v);
        break;
    case kSnare9ToneDecayCurveTag:
        snare909.setToneDecayCurvature(v);
        break;
    case kSnare9NoiseColorTag:
        snare909.lowNoiseFilter.setFrequency(cutoff(kSnare9NoiseColorTag, v));
        break;
    case kSnare9NoiseDecayTag:
        snare909.setNoiseDecayTime(v);
        break;
    case kSnare9NoiseDecayCurveTag:
        snare909.setNoiseDecayCurvature(v);
        break;
    case kSnare9NoiseLevelTag:
        snare909.setNoiseGain(v);
        break;

    // Snare 8
    case kSnare8TuneTag:
        snare808.setToneFrequency(v);
        break;
    case kSnare8NoiseColorTag:
        snare808.noiseFilter.setFrequency(cutoff(kSnare8NoiseColorTag, v));
        break;
    case kSnare8NoiseDecayTag:
        snare808.setNoiseDecayTime(v);
        break;
    case kSnare8NoiseLevelTag:
        snare808.setNoiseGain(v);
        break;

    // Clap
    case kClapToneTag:
        claps.setTone(cutoff(kClapToneTag, v));
        break;
    case kClapReverbTag:
        claps.setReverb(v);
        break;

    // Cowbell. Its attack tags are not connected, like the snare's attacks; "More Cowbell" is a
    // mixer matter for the engine.
    case kCowbellTuneTag:
        cowbell.setToneFrequency(v);
        break;
    case kCowbellRatioTag:
        cowbell.setRatio(v);
        break;
    case kCowbellDecayTag:
        cowbell.setVolumeDecayTime(v);
        break;
    case kCowbellDecayCurveTag:
        cowbell.setVolumeDecayCurvature(v);
        break;
    case kCowbellFilterFreqTag:
        cowbell.bandPass.setFrequency(cutoff(kCowbellFilterFreqTag, v));
        break;
    case kCowbellFilterResonanceTag:
        // 0 to 0.5 gives Q 1 to 4.5; a negative value would make the filter unstable
        cowbell.bandPass.setResonance(7.0f * (v < 0.0f ? 0.0f : v) + 1.0f);
        break;

    // Cymbal
    case kCymbalTuneTag:
        cymbal.setTuning(v);
        break;
    case kCymbalNoiseLevelTag:
        cymbal.setNoiseMix(v);
        break;
    case kCymbalDingLevelTag:
        cymbal.setDingVolume(v);
        break;
    case kCymbalFreqTag:
        cymbal.setBPF2Frequency(cutoff(kCymbalFreqTag, v));
        break;
    case kCymbalAttackTag:
        cymbal.setVolumeAttackTime(v);
        break;
    case kCymbalAttackCurveTag:
        cymbal.setVolumeAttackCurvature(v);
        break;
    case kCymbalDecayTag:
        cymbal.setVolumeDecayTime(v);
        break;
    case kCymbalDecayCurveTag:
        cymbal.setVolumeDecayCurvature(v);
        break;
    case kCymbalDingFreqTag:
        cymbal.setBPF1Frequency(cutoff(kCymbalDingFreqTag, v));
        break;
    case kCymbalDingAttackTag:
        cymbal.setDingAttackTime(v);
        break;
    case kCymbalDingAttackCurveTag:
        cymbal.setDingAttackCurvature(v);
        break;
    case kCymbalDingDecayTag:
        cymbal.setDingDecayTime(v);
        break;
    case kCymbalDingDecayCurveTag:
        cymbal.setDingDecayCurvature(v);
        break;

    // Rimshot
    case kRimshotTuneTag:
        rimshot.setTuning(v);
        break;
    case kRimshotHPFFreqTag:
        rimshot.highPass.setFrequency(cutoff(kRimshotHPFFreqTag, v));
        break;

    default:
        break; // the snare's and the cowbell's attacks, More Cowbell: nothing
    }
}

void BrakkaVoiceBank::setTomParameter(brakka_voice_tom& tom, int offset, float v) {
    switch (offset) {
    case kTomFreq:
        tom.setToneFrequency(v); // fundamental v, overtone 1.8333 v, click tone 3 v
        break;
    case kTomPitchDepth:
        tom.setToneBendDepth(v);
        break;
    case kTomClickLevel:
        tom.setClickGain(v);
        break;
    case kTomNoiseLevel:
        tom.setNoiseGain(v);
        break;
    case kTomToneLevel:
        tom.setToneGain(v);
        break;
    case kTomSaturation:
        tom.setClipping(v);
        break;
    case kTomTone1AttackTime:
        tom.setOsc1AttackTime(v);
        break;
    case kTomTone1AttackCurve:
        tom.setOsc1AttackCurvature(v);
        break;
    case kTomTone1DecayTime:
        tom.setOsc1DecayTime(v);
        break;
    case kTomTone1DecayCurve:
        tom.setOsc1DecayCurvature(v);
        break;
    case kTomTone2AttackTime:
        tom.setOsc2AttackTime(v);
        break;
    case kTomTone2AttackCurve:
        tom.setOsc2AttackCurvature(v);
        break;
    case kTomTone2DecayTime:
        tom.setOsc2DecayTime(v);
        break;
    case kTomTone2DecayCurve:
        tom.setOsc2DecayCurvature(v);
        break;
    default:
        break;
    }
}

void BrakkaVoiceBank::setHatParameter(brakka_voice_hihat& hat, int firstTag, int tag, float v) {
    switch (tag - firstTag) {
    case kHatBPFFreq:
        hat.setBPFFrequency(cutoff(tag, v));
        break;
    case kHatHPFFreq:
        hat.setHPFFrequency(cutoff(tag, v));
        break;
    case kHatTune:
        hat.setTuning(v); // a factor 0.5 to 2 for the closed hat, 0 to 1 for the open
        break;
    case kHatNoiseMix:
        hat.setNoiseMix(v);
        break;
    case kHatDecay:
        hat.setVolumeDecayTime(v);
        break;
    case kHatDecayCurve: // open hat only
        hat.setVolumeDecayCurvature(v);
        break;
    default:
        break;
    }
}
