// The twelve voice objects of the instrument in voice-index order, and the routing of the sound
// parameters (tags 0 to 107) to their operations. The engine owns one bank and delegates its
// setVoiceParameter to it; mixer tags and "More Cowbell" stay with the engine.
#pragma once

#include "BrakkaParameterTags.h"
#include "BrakkaVoices.h"

class BrakkaVoiceBank {
public:
    // Voice indices.
    enum {
        kKick = 0,
        kSnare8,
        kSnare9,
        kLowTom,
        kMidTom,
        kHighTom,
        kClosedHat,
        kOpenHat,
        kCymbal,
        kRimshot,
        kClap,
        kCowbell
    };

    BrakkaVoiceBank();
    BrakkaVoiceBank(const BrakkaVoiceBank&) = delete;
    BrakkaVoiceBank& operator=(const BrakkaVoiceBank&) = delete;

    // Passes the rate to every voice; rates that are not finite or below 8 kHz are ignored.
    void setAudioSamplingRate(float rate);

    // Applies the DSP value v of sound parameter `tag` (0 to 107) to its voice at once, also
    // while the voice sounds. Other tags, and values that are not finite, change nothing.
    void setVoiceParameter(int tag, float v);

    // The voice of index 0 to 11, or nullptr for any other index.
    brakka_voice* getVoice(int index) const;

    brakka_voice_kick kick;
    brakka_voice_snare808 snare808;
    brakka_voice_snare909 snare909;
    brakka_voice_tom lowTom;
    brakka_voice_tom midTom;
    brakka_voice_tom highTom;
    brakka_voice_hihat closedHat;
    brakka_voice_hihat openHat;
    brakka_voice_cymbal_110 cymbal;
    brakka_voice_rimshot rimshot;
    brakka_voice_claps claps;
    brakka_voice_cowbell cowbell;

    // The voice list, in voice-index order.
    brakka_voice* voices[kNumVoices];

private:
    void setTomParameter(brakka_voice_tom& tom, int offset, float v);
    // firstTag: the hat's first tag; the offset of tag from it selects the operation.
    void setHatParameter(brakka_voice_hihat& hat, int firstTag, int tag, float v);
    // Keeps a filter cutoff inside the range where the filters stay stable at the current rate,
    // and remembers the value asked for, so that a later rate change can grant it again.
    float cutoff(int tag, float hz);

    float samplingRate = 44100.0f;
    // Cutoffs as routed (not a number while never routed), indexed by tag.
    float routedCutoff[kNumSoundTags];
};
