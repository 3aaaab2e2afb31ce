// Process-wide sampling-rate values shared by the whole DSP library.
#pragma once

// Attribute code of the sampling rate for csd_set_attr / csd_get_attr.
enum { kCsdAttrSamplingRate = -100 };

extern "C" {
extern float gAudioSamplingRate;           // Hz
extern float gAudioSamplingRateReciprocal; // seconds per sample
extern float gSamplesPerMillisecond;       // rate * 0.001
extern float gMillisecondsPerSample;       // 1000 / rate

// attribute -100 sets the four sampling-rate globals from value (Hz); other codes do nothing.
void csd_set_attr(int attribute, float value);
// attribute -100 returns the sampling rate; other codes return 0.
float csd_get_attr(int attribute);
}
