// Rimshot, hand clap and cowbell.
#include "BrakkaVoices.h"

// ---------------------------------------------------------------------------------------------
// Rimshot

brakka_voice_rimshot::brakka_voice_rimshot() {
    keepShapes(secondEnvelope);
    keepShapes(thirdEnvelope);
    // The clipper and the high-pass make last-place differences audible: exact powers.
    volumeEnvelope.setExactCurves(true);
    secondEnvelope.setExactCurves(true);
    thirdEnvelope.setExactCurves(true);
    secondEnvelope.setReleaseTime(36.0f);
    secondEnvelope.setReleaseCurvature(-0.5f);
    thirdEnvelope.setReleaseTime(7.0f);
    thirdEnvelope.setReleaseCurvature(-0.5f);
    volumeEnvelope.setReleaseTime(29.0f);
    volumeEnvelope.setReleaseCurvature(-0.5f);
}

void brakka_voice_rimshot::setAudioSamplingRate(float rate) {
    brakka_voice_pitched::setAudioSamplingRate(rate);
    secondTone.setAudioSamplingRate(rate);
    thirdTone.setAudioSamplingRate(rate);
    secondEnvelope.setAudioSamplingRate(rate);
    thirdEnvelope.setAudioSamplingRate(rate);
    highPass.setAudioSamplingRate(rate);
    clipper.setAudioSamplingRate(rate);
}

void brakka_voice_rimshot::thwack(float velocity) {
    brakka_voice_pitched::thwack(velocity);
    // One full table length: the oscillators' wrap takes it as the start of the table.
    toneOscillator.resetPhase(4096.0f);
    secondTone.resetPhase(4096.0f);
    thirdTone.resetPhase(4096.0f);
    secondEnvelope.begin();
    thirdEnvelope.begin();
    velocityGain = velocityGain * 0.7f;
}

// Only the second envelope is tested: with the construction values it is the longest of the
// three, and it cuts off a first tone whose decay was made longer.
float brakka_voice_rimshot::process() {
    if (secondEnvelope.isDone()) return 0.0f;
    float y;
    brakka_voice_rimshot::process(&y, 1);
    return y;
}

int brakka_voice_rimshot::process(float* out, int n) {
    const int sounding = soundingSamples(n, secondEnvelope.samplesUntilDone());
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float e1[kChunk], e2[kChunk], e3[kChunk];
        volumeEnvelope.process(e1, m);
        secondEnvelope.process(e2, m);
        thirdEnvelope.process(e3, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            float s = toneOscillator.process() * e1[i];
            s = s + secondTone.process() * e2[i];
            s = s + thirdTone.process() * e3[i];
            o[i] = highPass.process(clipper.process(s)) * velocityGain;
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_rimshot::setTuning(float factor) {
    toneOscillator.setFrequency(500.0f * factor);
    secondTone.setFrequency(220.0f * factor);
    thirdTone.setFrequency(1000.0f * factor);
}

// ---------------------------------------------------------------------------------------------
// Clap

brakka_voice_claps::brakka_voice_claps() {
    keepShapes(burstEnvelope);
    // The gain of 6 into a resonant band-pass makes last-place differences audible.
    volumeEnvelope.setExactCurves(true);
    burstEnvelope.setExactCurves(true);
    bandPass.setFrequency(500.0f);
    bandPass.setResonance(3.1000001f);

    // Four claps 12, 13 and 8 ms apart (the third decays only to 0.2), then a 70 ms decay. Each
    // rise lasts 0.05 ms, so every begin() starts directly at 0 without a glide.
    burstEnvelope.setBreakpointLevel(0, 0.0f);
    burstEnvelope.setBreakpointLevel(1, 1.0f);
    burstEnvelope.setBreakpointTime(1, 0.05f);
    burstEnvelope.setBreakpointCurvature(1, -0.8f);
    burstEnvelope.addBreakpoint(0.0f, 12.0f);
    int p = burstEnvelope.addBreakpoint(1.0f, 0.05f);
    burstEnvelope.setBreakpointCurvature(p, -0.8f);
    burstEnvelope.addBreakpoint(0.0f, 13.0f);
    p = burstEnvelope.addBreakpoint(1.0f, 0.05f);
    burstEnvelope.setBreakpointCurvature(p, -0.8f);
    burstEnvelope.addBreakpoint(0.2f, 8.0f);
    p = burstEnvelope.addBreakpoint(1.0f, 0.05f);
    burstEnvelope.setBreakpointCurvature(p, -0.5f);
    burstEnvelope.addBreakpoint(0.0f, 70.0f);

    // The tail.
    volumeEnvelope.setAttackTime(0.1f);
    volumeEnvelope.setReleaseTime(200.0f);
    volumeEnvelope.setReleaseCurvature(-1.0f);
}

void brakka_voice_claps::setAudioSamplingRate(float rate) {
    brakka_voice::setAudioSamplingRate(rate);
    burstEnvelope.setAudioSamplingRate(rate);
    noise.setAudioSamplingRate(rate);
    bandPass.setAudioSamplingRate(rate);
}

void brakka_voice_claps::thwack(float velocity) {
    volumeEnvelope.begin();
    burstEnvelope.begin();
    velocityGain = 6.0f * velocity * velocity;
}

// Two consecutive noise values feed the bursts and the tail, so the two are decorrelated.
float brakka_voice_claps::process() {
    if (volumeEnvelope.isDone() && burstEnvelope.isDone()) return 0.0f;
    float y;
    brakka_voice_claps::process(&y, 1);
    return y;
}

int brakka_voice_claps::process(float* out, int n) {
    const int sounding = soundingSamples(
        n, longest(volumeEnvelope.samplesUntilDone(), burstEnvelope.samplesUntilDone()));
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float et[kChunk], eb[kChunk];
        volumeEnvelope.process(et, m);
        burstEnvelope.process(eb, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            float a = noise.process();
            float b = noise.process();
            float x = eb[i] * b + a * et[i] * 0.1f;
            o[i] = bandPass.process(x) * velocityGain;
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_claps::setTone(float hz) {
    bandPass.setFrequency(hz);
}
void brakka_voice_claps::setReverb(float ms) {
    setVolumeDecayTime(ms);
}

// ---------------------------------------------------------------------------------------------
// Cowbell

brakka_voice_cowbell::brakka_voice_cowbell() {
    toneOscillator.setWaveshape(5, 50.0f, 16);
    toneOscillator.setFrequency(587.0f);
    secondTone.setWaveshape(5, 50.0f, 16);
    secondTone.setFrequency(845.0f);
    bandPass.setFrequency(2640.0f);
    bandPass.setResonance(1.7f);
}

void brakka_voice_cowbell::setAudioSamplingRate(float rate) {
    brakka_voice_pitched::setAudioSamplingRate(rate);
    secondTone.setAudioSamplingRate(rate);
    bandPass.setAudioSamplingRate(rate);
}

void brakka_voice_cowbell::thwack(float velocity) {
    brakka_voice_pitched::thwack(velocity);
    secondTone.resetPhase(0.0f);
}

// Envelope and velocity act before the filter; once the envelope has finished the filter is no
// longer run, so its ringing stops there.
float brakka_voice_cowbell::process() {
    if (volumeEnvelope.isDone()) return 0.0f;
    float y;
    brakka_voice_cowbell::process(&y, 1);
    return y;
}

int brakka_voice_cowbell::process(float* out, int n) {
    const int sounding = soundingSamples(n, volumeEnvelope.samplesUntilDone());
    for (int done = 0; done < sounding; done += kChunk) {
        const int m = sounding - done < kChunk ? sounding - done : kChunk;
        float e[kChunk];
        volumeEnvelope.process(e, m);
        float* o = out + done;
        for (int i = 0; i < m; ++i) {
            float a = e[i] * velocityGain;
            float s = toneOscillator.process() + secondTone.process();
            o[i] = bandPass.process(s * a);
        }
    }
    silence(out, sounding, n);
    return sounding;
}

void brakka_voice_cowbell::setToneFrequency(float hz) {
    toneOscillator.setFrequency(hz);
    secondTone.setFrequency(hz * ratio);
}

void brakka_voice_cowbell::setRatio(float r) {
    ratio = r;
    secondTone.setFrequency(toneOscillator.getFrequency() * r);
}
