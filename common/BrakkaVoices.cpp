// The voice base classes: volume envelope, velocity gain, and the pitched voice's tone
// oscillator and pitch envelope.
#include "BrakkaVoices.h"

namespace {
// Values each envelope keeps of its curved segments' shapes: 341 ms at 48 kHz, 64 KB.
constexpr int kShapeMemory = 16384;
} // namespace

brakka_voice::brakka_voice() {
    keepShapes(volumeEnvelope);
}

void brakka_voice::keepShapes(zusp_eg_breakpoint& envelope) {
    constexpr int capacity = sizeof(shapedEnvelopes) / sizeof(shapedEnvelopes[0]);
    if (shapedEnvelopeCount == capacity) return;
    envelope.setShapeMemory(kShapeMemory);
    shapedEnvelopes[shapedEnvelopeCount++] = &envelope;
}

void brakka_voice::prepareShapes() {
    for (int i = 0; i < shapedEnvelopeCount; ++i)
        shapedEnvelopes[i]->prepareShapes();
}

unsigned brakka_voice::touchStrikeData() const {
    unsigned sum = volumeEnvelope.touchRunStart(4 * kChunk);
    for (int i = 0; i < shapedEnvelopeCount; ++i)
        sum += shapedEnvelopes[i]->touchRunStart(4 * kChunk);
    return sum;
}

// Declared pure so that every voice must pass the rate on to its own blocks, but the shared
// part lives here: the block's own rate fields, then the volume envelope.
void brakka_voice::setAudioSamplingRate(float rate) {
    zusp_block::setAudioSamplingRate(rate);
    volumeEnvelope.setAudioSamplingRate(rate);
}

void brakka_voice::setVolumeAttackTime(float ms) {
    volumeEnvelope.setAttackTime(ms);
}
void brakka_voice::setVolumeAttackCurvature(float c) {
    volumeEnvelope.setAttackCurvature(c);
}
void brakka_voice::setVolumeDecayTime(float ms) {
    volumeEnvelope.setReleaseTime(ms);
}
void brakka_voice::setVolumeDecayCurvature(float c) {
    volumeEnvelope.setReleaseCurvature(c);
}

// The pitch envelope's values are summed into the oscillators' phases, where even last-place
// differences add up: its powers are exact.
brakka_voice_pitched::brakka_voice_pitched() {
    pitchEnvelope.setExactCurves(true);
    keepShapes(pitchEnvelope);
}

void brakka_voice_pitched::setAudioSamplingRate(float rate) {
    brakka_voice::setAudioSamplingRate(rate);
    pitchEnvelope.setAudioSamplingRate(rate);
    toneOscillator.setAudioSamplingRate(rate);
}

void brakka_voice_pitched::thwack(float velocity) {
    volumeEnvelope.begin();
    pitchEnvelope.begin();
    toneOscillator.resetPhase(0.0f);
    velocityGain = velocity * velocity;
}

void brakka_voice_pitched::setToneFrequency(float hz) {
    toneOscillator.setFrequency(hz);
}
void brakka_voice_pitched::setToneBendDepth(float hz) {
    toneBendDepth = hz;
}
void brakka_voice_pitched::setToneGain(float gain) {
    toneGain = gain;
}
void brakka_voice_pitched::setPitchAttackTime(float ms) {
    pitchEnvelope.setAttackTime(ms);
}
void brakka_voice_pitched::setPitchAttackCurvature(float c) {
    pitchEnvelope.setAttackCurvature(c);
}
void brakka_voice_pitched::setPitchDecayTime(float ms) {
    pitchEnvelope.setReleaseTime(ms);
}
void brakka_voice_pitched::setPitchDecayCurvature(float c) {
    pitchEnvelope.setReleaseCurvature(c);
}
