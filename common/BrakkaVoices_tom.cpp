// The low, mid and high tom (one class, three objects).
#include "BrakkaKickData.h"
#include "BrakkaVoices.h"
#include "BrakkaVoices_internal.h"

using brakka_voices_internal::limited;

namespace {
// Bounds that keep the table oscillators' step below one table length per sample at any rate of
// 8 kHz or more: the overtone (1.8333 x tune) plus the bend stays below 4 kHz.
const float kMaxTomFrequency = 1000.0f;
const float kMaxTomBend = 2000.0f;
} // namespace

brakka_voice_tom::brakka_voice_tom() {
    keepShapes(clickEnvelope);
    keepShapes(secondToneEnvelope);
    // The inherited oscillator is the bright click tone: odd harmonics 1 to 15, falling as 1/n^2.
    toneOscillator.setWaveshape(6, 0.0f, 16);

    // Both play the constant cycle itself (it is never written), as every other tom does.
    fundamental.setTableSize(kKickDataSize);
    fundamental.setWavetablePtr(const_cast<float*>(kKickData));
    overtone.setTableSize(kKickDataSize);
    overtone.setWavetablePtr(const_cast<float*>(kKickData));

    noiseFilter.setFrequency(2500.0f);
    clickEnvelope.setAttackTime(0.5f);
    clickEnvelope.setReleaseTime(100.0f);
    clickEnvelope.setReleaseCurvature(-0.606f);
    secondToneEnvelope.setAttackTime(0.5f);
    secondToneEnvelope.setReleaseCurvature(-0.598f);

    volumeEnvelope.setAttackTime(0.5f);
    volumeEnvelope.setReleaseCurvature(-0.598f);
    toneBendDepth = 16.0f;
    pitchEnvelope.setReleaseTime(855.0f);
    pitchEnvelope.setReleaseCurvature(-0.6f);
    toneGain = 0.2818383f; // -11 dB
    setClipping(0.0f);
}

void brakka_voice_tom::setAudioSamplingRate(float rate) {
    brakka_voice_pitched::setAudioSamplingRate(rate);
    clickEnvelope.setAudioSamplingRate(rate);
    secondToneEnvelope.setAudioSamplingRate(rate);
    fundamental.setAudioSamplingRate(rate);
    overtone.setAudioSamplingRate(rate);
    noise.setAudioSamplingRate(rate);
    noiseFilter.setAudioSamplingRate(rate);
    fundamentalSaturation.setAudioSamplingRate(rate);
    overtoneSaturation.setAudioSamplingRate(rate);
}

void brakka_voice_tom::thwack(float velocity) {
    brakka_voice_pitched::thwack(velocity);
    clickEnvelope.begin();
    secondToneEnvelope.begin();
    fundamental.resetPhase(0.0f);
    overtone.resetPhase(0.0f);
    velocityGain = velocityGain * 0.8f;
}

float brakka_voice_tom::process() {
    if (volumeEnvelope.isDone() && secondToneEnvelope.isDone() && clickEnvelope.isDone())
        return 0.0f;
    float y;
    brakka_voice_tom::process(&y, 1);
    return y;
}

int brakka_voice_tom::process(float* out, int n) {
    const int sounding = soundingSamples(
        n, longest(volumeEnvelope.samplesUntilDone(), longest(secondToneEnvelope.samplesUntilDone(),
                                                              clickEnvelope.samplesUntilDone())));
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float bends[kChunk], overtoneEnv[kChunk], fundamentalEnv[kChunk], click[kChunk];
        pitchBends(bends, m);
        volumeEnvelope.process(overtoneEnv, m);
        secondToneEnvelope.process(fundamentalEnv, m);
        clickEnvelope.process(click, m);
        // The recursions first (oscillator phases, noise and filter), then the saturations
        // four samples at a time, then the mix; each value is computed as sample by sample.
        float* d1 = overtoneEnv;    // enveloped overtone, then saturated in place
        float* d2 = fundamentalEnv; // the same for the fundamental
        float c[kChunk], f[kChunk];
        for (int i = 0; i < m; ++i) {
            const float bend = bends[i];
            d1[i] = overtoneEnv[i] * overtone.process(bend);
            d2[i] = fundamentalEnv[i] * fundamental.process(bend);
            c[i] = toneOscillator.process(bend) * clickGain;
            f[i] = noiseFilter.process(noise.process());
        }
        overtoneSaturation.processBlock(d1, d1, m);
        fundamentalSaturation.processBlock(d2, d2, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            const float tone = toneGain * (d2[i] + d1[i]);
            o[i] = (click[i] * (f[i] * noiseGain + c[i]) + tone) * velocityGain;
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_tom::setToneFrequency(float hz) {
    hz = limited(hz, 0.0f, kMaxTomFrequency);
    fundamental.setFrequency(hz);
    toneOscillator.setFrequency(hz * kClickToneRatio);
    overtone.setFrequency(hz * kOvertoneRatio);
}

void brakka_voice_tom::setToneBendDepth(float hz) {
    toneBendDepth = limited(hz, 0.0f, kMaxTomBend);
}

void brakka_voice_tom::setToneDecayTime(float ms) {
    volumeEnvelope.setReleaseTime(ms);
    secondToneEnvelope.setReleaseTime(ms * 1.2f);
}
void brakka_voice_tom::setOsc1AttackTime(float ms) {
    volumeEnvelope.setAttackTime(ms);
}
void brakka_voice_tom::setOsc1AttackCurvature(float c) {
    volumeEnvelope.setAttackCurvature(c);
}
void brakka_voice_tom::setOsc1DecayTime(float ms) {
    volumeEnvelope.setReleaseTime(ms);
}
void brakka_voice_tom::setOsc1DecayCurvature(float c) {
    volumeEnvelope.setReleaseCurvature(c);
}
void brakka_voice_tom::setOsc2AttackTime(float ms) {
    secondToneEnvelope.setAttackTime(ms);
}
void brakka_voice_tom::setOsc2AttackCurvature(float c) {
    secondToneEnvelope.setAttackCurvature(c);
}
void brakka_voice_tom::setOsc2DecayTime(float ms) {
    secondToneEnvelope.setReleaseTime(ms);
}
void brakka_voice_tom::setOsc2DecayCurvature(float c) {
    secondToneEnvelope.setReleaseCurvature(c);
}
void brakka_voice_tom::setClickGain(float gain) {
    clickGain = gain;
}
void brakka_voice_tom::setNoiseGain(float gain) {
    noiseGain = gain;
}
void brakka_voice_tom::setClickDecayTime(float ms) {
    clickEnvelope.setReleaseTime(ms);
}
void brakka_voice_tom::setClickDecayCurvature(float c) {
    clickEnvelope.setReleaseCurvature(c);
}

void brakka_voice_tom::setClipping(float amount) {
    fundamentalSaturation.setDistortionAmount(amount);
    overtoneSaturation.setDistortionAmount(amount);
}
