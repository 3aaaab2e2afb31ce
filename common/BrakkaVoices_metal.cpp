// The metallic voices: the oscillator bank, the hats, the cymbal and the 110 cymbal.
#include "BrakkaVoices.h"

// ---------------------------------------------------------------------------------------------
// Oscillator bank

const float brakka_voice_cymbal_base::kBaseFreq[6] = {584.0f, 690.0f, 1062.0f,
                                                      530.0f, 458.0f, 363.0f};

brakka_voice_cymbal_base::brakka_voice_cymbal_base() {
    brakka_voice_cymbal_base::setTuning(1.0f);
    for (int k = 0; k < 6; ++k)
        oscillators[k].setWaveshape(5, (k % 2 == 0) ? 41.0f : 42.0f, 16);
    setVolumeAttackTime(0.0f);
}

void brakka_voice_cymbal_base::setAudioSamplingRate(float rate) {
    brakka_voice::setAudioSamplingRate(rate);
    for (zusp_oscillator_wavetable& o : oscillators)
        o.setAudioSamplingRate(rate);
}

void brakka_voice_cymbal_base::tones(float* first, float* last, int n) {
    zusp_oscillator_wavetable* const a[4] = {&oscillators[0], &oscillators[1], &oscillators[2],
                                             &oscillators[3]};
    zusp_oscillator_wavetable* const b[4] = {&oscillators[4], &oscillators[5], nullptr, nullptr};
    zusp_oscillator_wavetable::processFour(a, nullptr, first, n);
    zusp_oscillator_wavetable::processFour(b, nullptr, last, n);
}

void brakka_voice_cymbal_base::setTuning(float factor) {
    for (int k = 0; k < 6; ++k)
        oscillators[k].setFrequency(kBaseFreq[k] * factor);
}

// ---------------------------------------------------------------------------------------------
// Hats

brakka_voice_hihat::brakka_voice_hihat() {
    highPass.setFrequency(4000.0f);
    highPass.setResonance(0.707f);
    bandPass.setFrequency(10000.0f);
    bandPass.setResonance(0.707f);
    setVolumeDecayCurvature(-1.0f);
}

void brakka_voice_hihat::setAudioSamplingRate(float rate) {
    brakka_voice_cymbal_base::setAudioSamplingRate(rate);
    highPass.setAudioSamplingRate(rate);
    bandPass.setAudioSamplingRate(rate);
    noise.setAudioSamplingRate(rate);
}

// The oscillator phases run on, so successive hits start at different phases.
void brakka_voice_hihat::thwack(float velocity) {
    volumeEnvelope.begin();
    velocityGain = 4.0f * velocity * velocity;
}

float brakka_voice_hihat::process() {
    if (volumeEnvelope.isDone()) return 0.0f;
    float y;
    brakka_voice_hihat::process(&y, 1);
    return y;
}

int brakka_voice_hihat::process(float* out, int n) {
    const int sounding = soundingSamples(n, volumeEnvelope.samplesUntilDone());
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float e[kChunk], first[4 * kChunk], last[4 * kChunk];
        volumeEnvelope.process(e, m);
        tones(first, last, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            const float* t = first + 4 * i;
            float s = t[0] + t[1];
            s = s + t[2];
            s = s + t[3];
            s = s + last[4 * i];
            s = s + last[4 * i + 1];
            s = s * oscillatorMix;
            float x = s * 0.26f + noise.process() * noiseMix;
            float y = bandPass.process(highPass.process(x));
            o[i] = y * e[i] * velocityGain;
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_hihat::setBPFFrequency(float hz) {
    bandPass.setFrequency(hz);
}
void brakka_voice_hihat::setHPFFrequency(float hz) {
    highPass.setFrequency(hz);
}

void brakka_voice_hihat::setNoiseMix(float mix) {
    noiseMix = mix;
    oscillatorMix = 1.0f - mix;
}

void brakka_voice_hihat::choke() {
    volumeEnvelope.end();
}

// ---------------------------------------------------------------------------------------------
// Cymbal

const float brakka_voice_cymbal::kBaseFreq[6] = {1168.0f, 1380.0f, 2124.0f,
                                                 1060.0f, 916.0f,  726.0f};

brakka_voice_cymbal::brakka_voice_cymbal() {
    keepShapes(secondEnvelope);
    highPass.setFrequency(2500.0f);
    bandPass1.setFrequency(1000.0f);
    bandPass2.setFrequency(8000.0f);
    secondEnvelope.setAttackTime(0.0f);
    secondEnvelope.setReleaseTime(20.0f);
    secondEnvelope.setReleaseCurvature(-0.8f);
    brakka_voice_cymbal::setTuning(1.0f);
    for (zusp_oscillator_wavetable& o : oscillators)
        o.setWaveshape(5, 50.0f, 16);
}

void brakka_voice_cymbal::setAudioSamplingRate(float rate) {
    brakka_voice_cymbal_base::setAudioSamplingRate(rate);
    highPass.setAudioSamplingRate(rate);
    bandPass1.setAudioSamplingRate(rate);
    bandPass2.setAudioSamplingRate(rate);
    secondEnvelope.setAudioSamplingRate(rate);
    noise.setAudioSamplingRate(rate);
}

void brakka_voice_cymbal::thwack(float velocity) {
    volumeEnvelope.begin();
    secondEnvelope.begin();
    velocityGain = 0.3f * velocity * velocity;
}

float brakka_voice_cymbal::process() {
    if (volumeEnvelope.isDone() && secondEnvelope.isDone()) return 0.0f;
    float y;
    brakka_voice_cymbal::process(&y, 1);
    return y;
}

int brakka_voice_cymbal::process(float* out, int n) {
    const int sounding = soundingSamples(
        n, longest(volumeEnvelope.samplesUntilDone(), secondEnvelope.samplesUntilDone()));
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float e2[kChunk], ea[kChunk];
        secondEnvelope.process(e2, m);
        volumeEnvelope.process(ea, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            // Oscillators 0, 2 and 4 modulate the frequency of 1, 3 and 5.
            float o1 = oscillators[1].process(fmDepth * oscillators[0].process());
            float o3 = oscillators[3].process(fmDepth * oscillators[2].process());
            float o5 = oscillators[5].process(fmDepth * oscillators[4].process());
            bandPass1.setFrequency(bandPass1Sweep * e2[i] + 1000.0f);
            highPass.setFrequency(highPassSweep * ea[i] + 1000.0f);
            float s = o3 + o1 + o5;
            float h = highPass.process(s) * ea[i] * highPassMix;
            float b = bandPass1.process(s) * e2[i] * bandMix;
            o[i] = (b + h) * velocityGain;
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_cymbal::setTuning(float factor) {
    for (int k = 0; k < 6; ++k)
        oscillators[k].setFrequency(kBaseFreq[k] * factor);
}

void brakka_voice_cymbal::setBPF1Frequency(float hz) {
    bandPass1Sweep = hz;
}
void brakka_voice_cymbal::setBPF2Frequency(float hz) {
    bandPass2.setFrequency(hz);
}
void brakka_voice_cymbal::setHPFFrequency(float hz) {
    highPassSweep = hz;
}

void brakka_voice_cymbal::setNoiseMix(float mix) {
    bandMix = mix;
    highPassMix = 1.0f - mix;
}

void brakka_voice_cymbal::setFMdepth(float hz) {
    fmDepth = hz;
}

// ---------------------------------------------------------------------------------------------
// 110 cymbal

namespace {
const float k110BaseFreq[6] = {1190.0f, 823.0f, 317.0f, 465.0f, 1797.0f, 3570.0f};
const float k110Width[6] = {41.0f, 42.0f, 43.0f, 42.0f, 41.0f, 43.0f};
} // namespace

brakka_voice_cymbal_110::brakka_voice_cymbal_110() {
    for (int k = 0; k < 6; ++k) {
        baseFrequencies[k] = k110BaseFreq[k];
        oscillators[k].setFrequency(baseFrequencies[k]);
        // As many harmonics as fit below 22 kHz at tuning 1; kept whatever the tuning.
        int harmonics = static_cast<int>(22000.0f / baseFrequencies[k]);
        oscillators[k].setWaveshape(5, k110Width[k], harmonics);
    }
    bandPass1.setFrequency(3570.0f);
    bandPass1.setResonance(2.0f);
    bandPass2.setFrequency(7190.0f);
    bandPass2.setResonance(2.25f);
    bandMix = 6.0f;
}

void brakka_voice_cymbal_110::thwack(float velocity) {
    brakka_voice_cymbal::thwack(velocity);
}

float brakka_voice_cymbal_110::process() {
    if (volumeEnvelope.isDone() && secondEnvelope.isDone()) return 0.0f;
    float y;
    brakka_voice_cymbal_110::process(&y, 1);
    return y;
}

int brakka_voice_cymbal_110::process(float* out, int n) {
    const int sounding = soundingSamples(
        n, longest(volumeEnvelope.samplesUntilDone(), secondEnvelope.samplesUntilDone()));
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float ed[kChunk], ea[kChunk], first[4 * kChunk], last[4 * kChunk];
        secondEnvelope.process(ed, m);
        volumeEnvelope.process(ea, m);
        tones(first, last, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            const float o0 = first[4 * i], o1 = first[4 * i + 1];
            const float o2 = first[4 * i + 2], o3 = first[4 * i + 3];
            const float o4 = last[4 * i], o5 = last[4 * i + 1];
            float x = (1.1f * o1 + 1.1f * o0) + 0.25f * o2 + 1.25f * o3 + 0.5f * o4 + 2.04f * o5;
            x = x + (bandMix * 6.0f) * noise.process();
            x = x * velocityGain;
            float d = bandPass1.process(x) * ed[i] * dingVolume;
            float main = bandPass2.process(x) * ea[i];
            o[i] = main + d;
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_cymbal_110::setTuning(float factor) {
    for (int k = 0; k < 6; ++k)
        oscillators[k].setFrequency(baseFrequencies[k] * factor);
}

// The ding sits at a fixed frequency instead of the plain cymbal's sweep.
void brakka_voice_cymbal_110::setBPF1Frequency(float hz) {
    bandPass1.setFrequency(hz);
}

void brakka_voice_cymbal_110::setDingVolume(float v) {
    dingVolume = 3.0f * v;
}
void brakka_voice_cymbal_110::setDingAttackTime(float ms) {
    secondEnvelope.setAttackTime(ms);
}
void brakka_voice_cymbal_110::setDingAttackCurvature(float c) {
    secondEnvelope.setAttackCurvature(c);
}
void brakka_voice_cymbal_110::setDingDecayTime(float ms) {
    secondEnvelope.setReleaseTime(ms);
}
void brakka_voice_cymbal_110::setDingDecayCurvature(float c) {
    secondEnvelope.setReleaseCurvature(c);
}
