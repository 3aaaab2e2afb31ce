// The bass drum.
#include "BrakkaKickData.h"
#include "BrakkaVoices.h"
#include "BrakkaVoices_internal.h"

using brakka_voices_internal::limited;

namespace {
// Bounds that keep the table oscillator's step below one table length per sample at any rate of
// 8 kHz or more: tune plus bend stays below 4 kHz.
const float kMaxKickFrequency = 2000.0f;
const float kMaxKickBend = 2000.0f;
} // namespace

brakka_voice_kick::brakka_voice_kick() {
    keepShapes(clickEnvelope);
    // Table 0: the stored single cycle; table 1: a sine. Table 0 stays current.
    toneBank.setCurrentTable(0);
    toneBank.setTableSize(kKickDataSize);
    toneBank.fillWavetable(const_cast<float*>(kKickData));
    toneBank.setCurrentTable(1);
    toneBank.setWaveshape(0, 0.0f);
    toneBank.setCurrentTable(0);

    clickEnvelope.setAttackTime(0.0f);
    clickEnvelope.setAttackCurvature(0.0f);
    clickEnvelope.setReleaseTime(80.0f);
    clickEnvelope.setReleaseCurvature(-1.0f);
    clickPulse.setDuration(2.0f);
    noiseFilter.setResonance(0.707f);
    toneGain = 1.0f;
}

void brakka_voice_kick::setAudioSamplingRate(float rate) {
    brakka_voice_pitched::setAudioSamplingRate(rate);
    toneBank.setAudioSamplingRate(rate);
    clickPulse.setAudioSamplingRate(rate);
    clickEnvelope.setAudioSamplingRate(rate);
    saturation.setAudioSamplingRate(rate);
    noise.setAudioSamplingRate(rate);
    noiseFilter.setAudioSamplingRate(rate);
}

void brakka_voice_kick::thwack(float velocity) {
    brakka_voice_pitched::thwack(velocity);
    toneBank.resetPhase(0.0f);
    clickEnvelope.begin();
    clickPulse.begin();
}

float brakka_voice_kick::process() {
    if (volumeEnvelope.isDone()) return 0.0f;
    float y;
    brakka_voice_kick::process(&y, 1);
    return y;
}

int brakka_voice_kick::process(float* out, int n) {
    const int sounding = soundingSamples(n, volumeEnvelope.samplesUntilDone());
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float bend[kChunk], volume[kChunk], click[kChunk];
        pitchBends(bend, m);
        volumeEnvelope.process(volume, m);
        clickEnvelope.process(click, m);
        // The envelope acts before the saturation, so a larger exponent both thickens the tone
        // and flattens its decay. The recursions run together (so that they overlap), then the
        // saturation takes four samples at a time, then the mix (the same values).
        for (int i = 0; i < m; ++i) {
            volume[i] = volume[i] * toneBank.process(bend[i]);
            float p = clickPulse.process();
            float f = noiseFilter.process(noise.process());
            click[i] = click[i] * (f * noiseGain + p * pulseGain) * clickGain;
        }
        saturation.processBlock(volume, volume, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i)
            o[i] = (volume[i] * toneGain + click[i]) * velocityGain;
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_kick::setToneFrequency(float hz) {
    toneBank.setFrequency(limited(hz, 0.0f, kMaxKickFrequency));
}

void brakka_voice_kick::setToneBendDepth(float hz) {
    toneBendDepth = limited(hz, 0.0f, kMaxKickBend);
}

void brakka_voice_kick::setToneSaturation(float amount) {
    saturation.setDistortionAmount(amount);
}
void brakka_voice_kick::setNoiseFrequency(float hz) {
    noiseFilter.setFrequency(hz);
}
void brakka_voice_kick::setPulseDuration(float ms) {
    clickPulse.setDuration(ms);
}
void brakka_voice_kick::setNoiseGain(float gain) {
    noiseGain = gain;
}
void brakka_voice_kick::setPulseGain(float gain) {
    pulseGain = gain;
}
void brakka_voice_kick::setClickGain(float gain) {
    clickGain = gain;
}
void brakka_voice_kick::setClickAttackTime(float ms) {
    clickEnvelope.setAttackTime(ms);
}
void brakka_voice_kick::setClickAttackCurvature(float c) {
    clickEnvelope.setAttackCurvature(c);
}
void brakka_voice_kick::setClickDecayTime(float ms) {
    clickEnvelope.setReleaseTime(ms);
}
void brakka_voice_kick::setClickDecayCurvature(float c) {
    clickEnvelope.setReleaseCurvature(c);
}

// Only the two tables exist; any other index keeps the current one.
void brakka_voice_kick::setWaveshape(int shape) {
    if (shape < 0 || shape > 1) return;
    toneBank.setCurrentTable(shape);
    waveshape = shape;
}
