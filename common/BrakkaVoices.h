// The twelve drum instruments. Each voice is a small synthesizer built from DSP blocks that is
// struck with a velocity (thwack) and then renders one mono sample per process() call until its
// envelopes have finished. Voices own their blocks as members: nothing is allocated, locked or
// read from disk in thwack, process or any setter.
//
// The blocks are public so that the parameter routing can reach the few block settings that have
// no voice operation of their own (filter cutoffs, the cowbell's ratio) and so that tests can
// look inside.
#pragma once

#include "zusp.h"
#include "zusp_distort.h"
#include "zusp_eg.h"
#include "zusp_filters.h"
#include "zusp_noise.h"
#include "zusp_oscillator.h"
#include "zusp_pulsegen.h"

// Abstract base: the volume envelope and the velocity gain shared by every voice.
class brakka_voice : public zusp_block {
public:
    using zusp_block::process;

    brakka_voice();
    // A voice keeps pointers to its own envelopes: not copyable.
    brakka_voice(const brakka_voice&) = delete;
    brakka_voice& operator=(const brakka_voice&) = delete;

    // Every voice passes the rate on to each block it owns.
    void setAudioSamplingRate(float rate) override = 0;

    // Strike the voice; velocity 0 .. 1.
    virtual void thwack(float velocity) = 0;
    // Render and return the next output sample (0 once the voice has decayed).
    virtual float process() = 0;
    // The next n samples, the same as n calls of process(). The voice finds once per block how
    // long it still sounds and writes zeros beyond that at no further cost. Returns how many
    // samples it rendered: from there on out holds zeros (a silent voice returns 0).
    virtual int process(float* out, int n) = 0;
    virtual void setVolumeAttackTime(float ms);
    virtual void setVolumeAttackCurvature(float c);
    virtual void setVolumeDecayTime(float ms);
    virtual void setVolumeDecayCurvature(float c);

    zusp_eg_breakpoint_ar volumeEnvelope;
    float velocityGain = 0.0f;

    // Works out the curved shapes of the voice's envelopes for the settings as they are, so that
    // the next strike reads them back (see keepShapes). Not for the audio thread: costs what
    // rendering each segment once would.
    void prepareShapes();
    // Reads what a strike and its first block read of the voice's own data (see
    // zusp_eg_breakpoint::touchRunStart). Returns a sum to keep.
    unsigned touchStrikeData() const;

protected:
    // The envelope keeps the shapes of its curved segments from one strike to the next: a
    // voice struck again with unchanged settings reads its envelope values back.
    void keepShapes(zusp_eg_breakpoint& envelope);

    // Envelope values are rendered ahead in chunks of this many samples, on the stack.
    static const int kChunk = 64;
    // The samples of a block of n that the voice renders: as many as it still sounds.
    static int soundingSamples(int n, int64_t remaining) {
        return remaining < n ? static_cast<int>(remaining) : n;
    }
    // The samples that remain until the last of the envelopes has finished.
    static int64_t longest(int64_t a, int64_t b) { return a > b ? a : b; }
    static void silence(float* out, int from, int n) {
        for (int i = from; i < n; ++i)
            out[i] = 0.0f;
    }

private:
    zusp_eg_breakpoint* shapedEnvelopes[6] = {};
    int shapedEnvelopeCount = 0;
};

// Abstract base of the tonal voices: a tone oscillator whose pitch the pitch envelope bends.
class brakka_voice_pitched : public brakka_voice {
public:
    brakka_voice_pitched();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;

    virtual void setToneFrequency(float hz);
    virtual void setToneBendDepth(float hz);
    virtual void setToneGain(float gain);
    virtual void setPitchAttackTime(float ms);
    virtual void setPitchAttackCurvature(float c);
    virtual void setPitchDecayTime(float ms);
    virtual void setPitchDecayCurvature(float c);

    zusp_oscillator_wavetable toneOscillator{4096};
    zusp_eg_breakpoint_ar pitchEnvelope;
    // Both are set by the concrete voices or their parameters; 0 keeps a voice that never
    // received them silent in its tone and unbent rather than undefined.
    float toneGain = 0.0f;
    float toneBendDepth = 0.0f; // Hz added at the pitch envelope's peak

protected:
    // The next n pitch bends in Hz (pitch envelope times bend depth). Without depth the
    // envelope only moves on: its values would all be multiplied by 0.
    void pitchBends(float* bend, int n) {
        const float depth = toneBendDepth;
        if (depth == 0.0f) {
            pitchEnvelope.skip(n);
            for (int i = 0; i < n; ++i)
                bend[i] = 0.0f;
            return;
        }
        pitchEnvelope.process(bend, n);
        for (int i = 0; i < n; ++i)
            bend[i] = bend[i] * depth;
    }
};

// Bass drum: a single-cycle tone (or a sine) with falling pitch and exponential saturation, plus
// a click of a 2 ms gate pulse and low-passed noise under its own envelope.
class brakka_voice_kick : public brakka_voice_pitched {
public:
    brakka_voice_kick();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;
    void setToneFrequency(float hz) override;
    void setToneBendDepth(float hz) override;

    virtual void setToneSaturation(float amount);
    virtual void setNoiseFrequency(float hz);
    virtual void setPulseDuration(float ms);
    virtual void setNoiseGain(float gain);
    virtual void setPulseGain(float gain);
    virtual void setClickGain(float gain);
    virtual void setClickAttackTime(float ms);
    virtual void setClickAttackCurvature(float c);
    virtual void setClickDecayTime(float ms);
    virtual void setClickDecayCurvature(float c);
    virtual void setWaveshape(int shape);

    zusp_oscillator_wavetable_multi toneBank{2, 4096}; // table 0 kKickData, table 1 sine
    zusp_eg_breakpoint_ar clickEnvelope;
    zusp_distort_exponential saturation;
    zusp_pulsegen clickPulse;
    zusp_filter_rbj_low_pass noiseFilter;
    zusp_noise_white_fast noise;
    float pulseGain = 1.0f;
    float noiseGain = 0.5011872f; // -6 dB
    float clickGain = 0.0f;
    int waveshape = 0;
};

// "Snare 8": two sine tones 1.8333 apart, high-passed noise and a filtered snappy click.
class brakka_voice_snare808 : public brakka_voice_pitched {
public:
    brakka_voice_snare808();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;
    void setToneFrequency(float hz) override;

    virtual void setOsc1DecayTime(float ms);
    virtual void setOsc1DecayCurvature(float c);
    virtual void setOsc2DecayTime(float ms);
    virtual void setOsc2DecayCurvature(float c);
    virtual void setNoiseDecayTime(float ms);
    virtual void setNoiseDecayCurvature(float c);
    virtual void setNoiseGain(float gain);
    virtual void setSnappyGain(float gain);

    static constexpr float kSecondToneRatio = 1.8333f;

    zusp_oscillator_wavetable secondTone{4096};
    zusp_filter_rbj_high_pass noiseFilter;
    zusp_filter_rbj_low_pass clickFilter;
    zusp_noise_white_fast noise;
    zusp_eg_breakpoint_ar secondToneEnvelope;
    zusp_eg_breakpoint_ar noiseEnvelope;
    zusp_pulsegen clickPulse;
    float noiseGain = 0.5f;
    float snappyGain = 1.0f;
};

// "Snare 9": two bent sine tones 1.4 apart and noise split into a low and a high band.
class brakka_voice_snare909 : public brakka_voice_pitched {
public:
    brakka_voice_snare909();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;
    void setToneFrequency(float hz) override;

    virtual void setToneDecayTime(float ms);
    virtual void setOsc1DecayTime(float ms);
    virtual void setOsc1DecayCurvature(float c);
    virtual void setToneDecayCurvature(float c);
    virtual void setOsc2DecayTime(float ms);
    virtual void setOsc2DecayCurvature(float c);
    virtual void setNoiseDecayTime(float ms);
    virtual void setLowNoiseDecayTime(float ms);
    virtual void setNoiseDecayCurvature(float c);
    virtual void setLowNoiseDecayCurvature(float c);
    virtual void setHighNoiseDecayTime(float ms);
    virtual void setHighNoiseDecayCurvature(float c);
    virtual void setNoiseGain(float gain);

    static constexpr float kSecondToneRatio = 1.4f;

    zusp_oscillator_wavetable secondTone{4096};
    zusp_filter_rbj_low_pass lowNoiseFilter;
    zusp_filter_rbj_high_pass highNoiseFilter;
    zusp_noise_white_fast noise;
    zusp_eg_breakpoint_ar secondToneEnvelope;
    zusp_eg_breakpoint_ar lowNoiseEnvelope;
    zusp_eg_breakpoint_ar highNoiseEnvelope;
    float noiseGain = 0.5f;
};

// Low, mid and high tom: a fundamental and an overtone 1.8333 higher, both playing kKickData
// with their own envelopes and saturation, plus a click tone at three times the fundamental and
// low-passed noise. The inherited tone oscillator is the click tone; the inherited volume
// envelope shapes the overtone (tone 1).
class brakka_voice_tom : public brakka_voice_pitched {
public:
    brakka_voice_tom();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;
    void setToneFrequency(float hz) override;
    void setToneBendDepth(float hz) override;

    virtual void setToneDecayTime(float ms);
    virtual void setOsc1AttackTime(float ms);
    virtual void setOsc1AttackCurvature(float c);
    virtual void setOsc1DecayTime(float ms);
    virtual void setOsc1DecayCurvature(float c);
    virtual void setOsc2AttackTime(float ms);
    virtual void setOsc2AttackCurvature(float c);
    virtual void setOsc2DecayTime(float ms);
    virtual void setOsc2DecayCurvature(float c);
    virtual void setClickGain(float gain);
    virtual void setNoiseGain(float gain);
    virtual void setClickDecayTime(float ms);
    virtual void setClickDecayCurvature(float c);
    virtual void setClipping(float amount);

    static constexpr float kOvertoneRatio = 1.8333f;
    static constexpr float kClickToneRatio = 3.0f;

    zusp_oscillator_wavetable_resizeable fundamental{4096}; // tone 2
    zusp_oscillator_wavetable_resizeable overtone{4096};    // tone 1
    zusp_filter_rbj_low_pass noiseFilter;
    zusp_distort_exponential fundamentalSaturation;
    zusp_distort_exponential overtoneSaturation;
    zusp_eg_breakpoint_ar clickEnvelope;
    zusp_eg_breakpoint_ar secondToneEnvelope; // envelope of the fundamental
    zusp_noise_white_fast noise;
    float clickGain = 1.0f;
    float noiseGain = 0.2238721f; // -13 dB
};

// Abstract base of the metallic voices: six band-limited pulse oscillators at fixed inharmonic
// frequencies that one tuning factor scales together.
class brakka_voice_cymbal_base : public brakka_voice {
public:
    brakka_voice_cymbal_base();

    void setAudioSamplingRate(float rate) override;

    virtual void setTuning(float factor);

    static const float kBaseFreq[6];

    zusp_oscillator_wavetable oscillators[6]; // 4096 entries each

protected:
    // The next n samples of the six oscillators, in lanes: first[4 i + k] of oscillator k for
    // k < 4, last[4 i + k - 4] of the others (the same values as n calls of process() each).
    void tones(float* first, float* last, int n);
};

// Closed and open hat: the oscillator bank mixed with noise through a high-pass and a band-pass.
class brakka_voice_hihat : public brakka_voice_cymbal_base {
public:
    brakka_voice_hihat();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;

    virtual void setBPFFrequency(float hz);
    virtual void setHPFFrequency(float hz);
    virtual void setNoiseMix(float mix);
    // Ends the hat at once (the closed hat chokes the open one).
    virtual void choke();

    zusp_filter_rbj_high_pass highPass;
    zusp_filter_rbj_band_pass bandPass;
    zusp_noise_white_fast noise;
    float noiseMix = 0.5f;
    float oscillatorMix = 0.5f; // always 1 - noise mix
};

// Three frequency-modulated oscillator pairs through two enveloped, swept filters. Only the base
// of the 110 cymbal; the instrument itself is brakka_voice_cymbal_110.
class brakka_voice_cymbal : public brakka_voice_cymbal_base {
public:
    brakka_voice_cymbal();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;
    void setTuning(float factor) override;

    virtual void setBPF1Frequency(float hz);
    virtual void setBPF2Frequency(float hz);
    virtual void setHPFFrequency(float hz);
    virtual void setNoiseMix(float mix);
    virtual void setFMdepth(float hz);

    static const float kBaseFreq[6];

    zusp_filter_rbj_high_pass highPass;
    zusp_filter_rbj_band_pass bandPass1;
    zusp_filter_rbj_band_pass bandPass2;
    zusp_eg_breakpoint_ar secondEnvelope;
    zusp_noise_white_fast noise;
    float bandMix = 0.5f;
    float highPassMix = 0.5f; // 1 - band mix
    float fmDepth = 0.0f;     // Hz
    float bandPass1Sweep = 0.0f;
    float highPassSweep = 0.0f;
};

// The cymbal instrument: a weighted mix of six pulse oscillators plus noise, split into a main
// band (band-pass 2, volume envelope) and a separately enveloped ding band (band-pass 1).
class brakka_voice_cymbal_110 : public brakka_voice_cymbal {
public:
    brakka_voice_cymbal_110();

    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;
    void setTuning(float factor) override;
    void setBPF1Frequency(float hz) override;

    virtual void setDingVolume(float v);
    virtual void setDingAttackTime(float ms);
    virtual void setDingAttackCurvature(float c);
    virtual void setDingDecayTime(float ms);
    virtual void setDingDecayCurvature(float c);

    float baseFrequencies[6];
    float dingVolume = 0.0f;
};

// Three short sine pings at 500, 220 and 1000 Hz times the tuning factor, soft-clipped and
// high-passed.
class brakka_voice_rimshot : public brakka_voice_pitched {
public:
    brakka_voice_rimshot();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;

    void setTuning(float factor);

    zusp_oscillator_wavetable secondTone{4096};
    zusp_oscillator_wavetable thirdTone{4096};
    zusp_filter_rbj_high_pass highPass;
    zusp_distort_parabolic clipper{2.0f};
    zusp_eg_breakpoint_ar secondEnvelope;
    zusp_eg_breakpoint_ar thirdEnvelope;
};

// Hand clap: band-passed noise under a burst envelope of four claps, plus a quiet noise tail
// (the volume envelope) whose decay is the clap's reverb.
class brakka_voice_claps : public brakka_voice {
public:
    brakka_voice_claps();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;

    virtual void setTone(float hz);
    virtual void setReverb(float ms);

    zusp_filter_rbj_band_pass bandPass;
    zusp_eg_breakpoint burstEnvelope;
    zusp_noise_white_fast noise;
};

// Cowbell: two square waves at an adjustable ratio through a resonant band-pass.
class brakka_voice_cowbell : public brakka_voice_pitched {
public:
    brakka_voice_cowbell();

    void setAudioSamplingRate(float rate) override;
    void thwack(float velocity) override;
    float process() override;
    int process(float* out, int n) override;
    void setToneFrequency(float hz) override;

    // ratio = r, then the second tone follows the first tone's present frequency.
    void setRatio(float r);

    zusp_oscillator_wavetable secondTone{4096};
    zusp_filter_rbj_band_pass bandPass;
    float ratio = 1.0f;
};
