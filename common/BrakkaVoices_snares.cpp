// "Snare 8" and "Snare 9".
#include "BrakkaVoices.h"

// ---------------------------------------------------------------------------------------------
// Snare 8

brakka_voice_snare808::brakka_voice_snare808() {
    keepShapes(secondToneEnvelope);
    keepShapes(noiseEnvelope);
    noiseFilter.setResonance(0.707f);
    clickFilter.setFrequency(2000.0f);
    clickFilter.setResonance(0.707f);
    secondToneEnvelope.setReleaseTime(180.0f);
    secondToneEnvelope.setReleaseCurvature(-0.5f);
    noiseEnvelope.setReleaseCurvature(-0.4f);
    clickPulse.setDuration(2.0f);
    volumeEnvelope.setReleaseTime(234.0f);
    volumeEnvelope.setReleaseCurvature(-0.5f);
    toneGain = 0.39810717f; // -8 dB
    toneBendDepth = 0.0f;
}

void brakka_voice_snare808::setAudioSamplingRate(float rate) {
    brakka_voice_pitched::setAudioSamplingRate(rate);
    secondTone.setAudioSamplingRate(rate);
    noiseFilter.setAudioSamplingRate(rate);
    clickFilter.setAudioSamplingRate(rate);
    noise.setAudioSamplingRate(rate);
    secondToneEnvelope.setAudioSamplingRate(rate);
    noiseEnvelope.setAudioSamplingRate(rate);
    clickPulse.setAudioSamplingRate(rate);
}

void brakka_voice_snare808::thwack(float velocity) {
    brakka_voice_pitched::thwack(velocity);
    secondToneEnvelope.begin();
    noiseEnvelope.begin();
    secondTone.resetPhase(0.0f);
    clickPulse.begin();
    velocityGain = velocityGain * 0.45f;
}

float brakka_voice_snare808::process() {
    if (volumeEnvelope.isDone() && secondToneEnvelope.isDone() && noiseEnvelope.isDone())
        return 0.0f;
    float y;
    brakka_voice_snare808::process(&y, 1);
    return y;
}

int brakka_voice_snare808::process(float* out, int n) {
    const int sounding = soundingSamples(
        n, longest(volumeEnvelope.samplesUntilDone(), longest(secondToneEnvelope.samplesUntilDone(),
                                                              noiseEnvelope.samplesUntilDone())));
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float bends[kChunk], e1[kChunk], e2[kChunk], en[kChunk];
        pitchBends(bends, m);
        volumeEnvelope.process(e1, m);
        secondToneEnvelope.process(e2, m);
        noiseEnvelope.process(en, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            const float bend = bends[i];
            float o1 = toneOscillator.process(bend);
            float o2 = secondTone.process(bend);
            float tone = (e2[i] * o2 + e1[i] * o1) * toneGain;
            float h = noiseFilter.process(noise.process());
            float click = snappyGain * clickFilter.process(clickPulse.process());
            o[i] = (en[i] * h * noiseGain + tone + click) * velocityGain;
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_snare808::setToneFrequency(float hz) {
    toneOscillator.setFrequency(hz);
    secondTone.setFrequency(hz * kSecondToneRatio);
}

void brakka_voice_snare808::setOsc1DecayTime(float ms) {
    setVolumeDecayTime(ms);
}
void brakka_voice_snare808::setOsc1DecayCurvature(float c) {
    setVolumeDecayCurvature(c);
}
void brakka_voice_snare808::setOsc2DecayTime(float ms) {
    secondToneEnvelope.setReleaseTime(ms);
}
void brakka_voice_snare808::setOsc2DecayCurvature(float c) {
    secondToneEnvelope.setReleaseCurvature(c);
}
void brakka_voice_snare808::setNoiseDecayTime(float ms) {
    noiseEnvelope.setReleaseTime(ms);
}
void brakka_voice_snare808::setNoiseDecayCurvature(float c) {
    noiseEnvelope.setReleaseCurvature(c);
}
void brakka_voice_snare808::setNoiseGain(float gain) {
    noiseGain = gain;
}
void brakka_voice_snare808::setSnappyGain(float gain) {
    snappyGain = gain;
}

// ---------------------------------------------------------------------------------------------
// Snare 9

brakka_voice_snare909::brakka_voice_snare909() {
    keepShapes(secondToneEnvelope);
    keepShapes(lowNoiseEnvelope);
    keepShapes(highNoiseEnvelope);
    lowNoiseFilter.setResonance(0.707f);
    highNoiseFilter.setFrequency(1000.0f);
    highNoiseFilter.setResonance(0.707f);
    pitchEnvelope.setReleaseTime(75.0f);
    pitchEnvelope.setReleaseCurvature(-0.5f);
    toneBendDepth = 200.0f;
    toneGain = 0.70794576f; // -3 dB
}

void brakka_voice_snare909::setAudioSamplingRate(float rate) {
    brakka_voice_pitched::setAudioSamplingRate(rate);
    secondTone.setAudioSamplingRate(rate);
    lowNoiseFilter.setAudioSamplingRate(rate);
    highNoiseFilter.setAudioSamplingRate(rate);
    noise.setAudioSamplingRate(rate);
    secondToneEnvelope.setAudioSamplingRate(rate);
    lowNoiseEnvelope.setAudioSamplingRate(rate);
    highNoiseEnvelope.setAudioSamplingRate(rate);
}

void brakka_voice_snare909::thwack(float velocity) {
    brakka_voice_pitched::thwack(velocity);
    secondToneEnvelope.begin();
    lowNoiseEnvelope.begin();
    highNoiseEnvelope.begin();
    secondTone.resetPhase(0.0f);
    velocityGain = velocityGain * 0.45f;
}

float brakka_voice_snare909::process() {
    if (volumeEnvelope.isDone() && secondToneEnvelope.isDone() && lowNoiseEnvelope.isDone() &&
        highNoiseEnvelope.isDone())
        return 0.0f;
    float y;
    brakka_voice_snare909::process(&y, 1);
    return y;
}

int brakka_voice_snare909::process(float* out, int n) {
    const int sounding = soundingSamples(
        n, longest(
               longest(volumeEnvelope.samplesUntilDone(), secondToneEnvelope.samplesUntilDone()),
               longest(lowNoiseEnvelope.samplesUntilDone(), highNoiseEnvelope.samplesUntilDone())));
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float bends[kChunk], e1[kChunk], e2[kChunk], elo[kChunk], ehi[kChunk];
        pitchBends(bends, m);
        volumeEnvelope.process(e1, m);
        secondToneEnvelope.process(e2, m);
        lowNoiseEnvelope.process(elo, m);
        highNoiseEnvelope.process(ehi, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            const float bend = bends[i];
            float o1 = toneOscillator.process(bend);
            float o2 = secondTone.process(bend);
            float nz = noise.process();
            float lo = lowNoiseFilter.process(nz);
            float hi = highNoiseFilter.process(nz);
            o[i] =
                ((ehi[i] * hi + elo[i] * lo) * noiseGain + (e2[i] * o2 + e1[i] * o1) * toneGain) *
                velocityGain;
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_snare909::setToneFrequency(float hz) {
    toneOscillator.setFrequency(hz);
    secondTone.setFrequency(hz * kSecondToneRatio);
}

void brakka_voice_snare909::setToneDecayTime(float ms) {
    setVolumeDecayTime(ms);
    secondToneEnvelope.setReleaseTime(ms);
}
void brakka_voice_snare909::setOsc1DecayTime(float ms) {
    setVolumeDecayTime(ms);
}
void brakka_voice_snare909::setOsc1DecayCurvature(float c) {
    setVolumeDecayCurvature(c);
}
void brakka_voice_snare909::setToneDecayCurvature(float c) {
    setVolumeDecayCurvature(c);
    secondToneEnvelope.setReleaseCurvature(c);
}
void brakka_voice_snare909::setOsc2DecayTime(float ms) {
    secondToneEnvelope.setReleaseTime(ms);
}
void brakka_voice_snare909::setOsc2DecayCurvature(float c) {
    secondToneEnvelope.setReleaseCurvature(c);
}
void brakka_voice_snare909::setNoiseDecayTime(float ms) {
    lowNoiseEnvelope.setReleaseTime(ms);
    highNoiseEnvelope.setReleaseTime(ms);
}
void brakka_voice_snare909::setLowNoiseDecayTime(float ms) {
    lowNoiseEnvelope.setReleaseTime(ms);
}
void brakka_voice_snare909::setNoiseDecayCurvature(float c) {
    lowNoiseEnvelope.setReleaseCurvature(c);
    highNoiseEnvelope.setReleaseCurvature(c);
}
void brakka_voice_snare909::setLowNoiseDecayCurvature(float c) {
    lowNoiseEnvelope.setReleaseCurvature(c);
}
void brakka_voice_snare909::setHighNoiseDecayTime(float ms) {
    highNoiseEnvelope.setReleaseTime(ms);
}
void brakka_voice_snare909::setHighNoiseDecayCurvature(float c) {
    highNoiseEnvelope.setReleaseCurvature(c);
}
void brakka_voice_snare909::setNoiseGain(float gain) {
    noiseGain = gain;
}
