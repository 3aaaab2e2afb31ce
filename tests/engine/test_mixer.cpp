// Levels, mute, exclusive solo, More Cowbell, the pan law, bus routing, the output compressor,
// MIDI Output Only and the hat choke, measured on the outputs the host receives. (Several
// instances at their own rates in one process: the validator's instances check.)
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace brakka_test;
using B = Brakka;

namespace {

const int kKick = kMIDInote[0], kLowTom = kMIDInote[3], kHighTom = kMIDInote[5],
          kCowbell = kMIDInote[11];

// Plays a voice by its MIDI note and renders one block of channel c.
std::vector<float> hit(EngineHarness& h, int note, int channel, int frames = 4096) {
    h.host().sendMidi(0x90, (unsigned char)note, 127);
    return h.renderChannel(frames, channel);
}

} // namespace

TEST(Mixer, PanLawAndEveryVoiceOnItsBus) {
    // Kick on bus B (no compressor, no gain). Hard left gives gains 1 and 0; the centre
    // (k = 499) cos and sin of 499·π/2000: 0.70822 and 0.70600.
    EngineHarness centre, left;
    for (EngineHarness* h : {&centre, &left})
        h->set(kOutputTag + 0, outputBusValue(1));
    left.set(kPanTag + 0, 0.0f);
    const std::vector<float> x = hit(left, kKick, 2), l = hit(centre, kKick, 2);
    const std::vector<float>& r = centre.host().output(3);
    ASSERT_GT(peak(x), 0.01);
    EXPECT_EQ(peak(left.host().output(3)), 0.0);
    for (size_t i = 0; i < x.size(); ++i) {
        EXPECT_NEAR(l[i], x[i] * 0.70822, 1e-5 + std::fabs(x[i]) * 1e-5);
        EXPECT_NEAR(r[i], x[i] * 0.70600, 1e-5 + std::fabs(x[i]) * 1e-5);
    }

    // Voices 9..11 have integer outputs (0.2·bus in both laws). Kickdrum (linear law):
    // natural 0.95 is still bus A; Rimshot (integer law): 0.15 reads 1, bus B.
    struct Case {
        int voice;
        float value;
        int bus;
    };
    std::vector<Case> cases = {{0, 0.19f, 0}, {0, 0.21f, 1}, {9, 0.09f, 0}, {9, 0.15f, 1}};
    for (int v = 0; v < 12; ++v)
        cases.push_back({v, v < 9 ? outputBusValue(v % 6) : (v % 6) * 0.2f, v % 6});
    for (const Case& c : cases) {
        EngineHarness h;
        h.set(kOutputTag + c.voice, c.value);
        hit(h, kMIDInote[c.voice], 0);
        for (int ch = 0; ch < 12; ++ch)
            EXPECT_EQ(peak(h.host().output(ch)) > 1e-3, ch / 2 == c.bus)
                << "voice " << c.voice << " value " << c.value << " channel " << ch;
    }
}

TEST(Mixer, MuteLevelOutputAAndMoreCowbell) {
    EngineHarness a, b;
    for (EngineHarness* h : {&a, &b}) {
        h->set(kOutputTag + 0, outputBusValue(1));
        h->set(kOutputTag + 11, 0.4f); // bus C
    }
    // Muted, then the level moved: still silent; unmuted: at the new level (about -6 dB).
    a.set(kMuteTag + 0, 1.0f);
    a.set(kLevelTag + 0, 0.7270f);
    EXPECT_EQ(peak(hit(a, kKick, 2)), 0.0);
    a.set(kMuteTag + 0, 0.0f);
    EXPECT_NEAR(peak(hit(a, kKick, 2)) / peak(hit(b, kKick, 2)), std::pow(10.0, -6.0 / 20.0), 0.01);
    // More Cowbell plays at 1.2 whatever the level; switched off, the level (0.5 on the dB
    // law: 44·log10(0.5131) - 0.25 dB) counts again; muted, it stays silent.
    a.set(kMoreCowbellTag, 1.0f);
    a.set(kLevelTag + 11, 0.5f);
    EXPECT_NEAR(peak(hit(a, kCowbell, 4)) / peak(hit(b, kCowbell, 4)), 1.2, 1e-4);
    a.set(kMoreCowbellTag, 0.0f);
    a.render(44100);
    b.render(44100);
    EXPECT_NEAR(peak(hit(a, kCowbell, 4)) / peak(hit(b, kCowbell, 4)),
                std::pow(10.0, (44.0 * std::log10(0.5131) - 0.25) / 20.0), 0.002);
    a.set(kMoreCowbellTag, 1.0f);
    a.set(kMuteTag + 11, 1.0f);
    a.render(44100);
    EXPECT_EQ(peak(hit(a, kCowbell, 4)), 0.0);

    EngineHarness loud, quiet;
    quiet.set(kOutputATag, 0.0f); // -60 dB
    const double full = peak(hit(loud, kKick, 0));
    EXPECT_GT(full, 1e-3);
    EXPECT_LT(peak(hit(quiet, kKick, 0)), full * 0.01);
}

TEST(Mixer, SoloIsExclusiveAndObeysMute) {
    EngineHarness h;
    h.host().processLevel = 4; // offline: a chunk is loaded when setChunk returns
    for (int v : {3, 5})
        h.set(kOutputTag + v, outputBusValue(1));
    h.set(kSoloTag + 5, 1.0f);
    EXPECT_EQ(peak(hit(h, kLowTom, 2)), 0.0); // low tom soloed away
    EXPECT_GT(peak(hit(h, kHighTom, 2)), 1e-3);
    h.set(kMuteTag + 5, 1.0f);
    EXPECT_EQ(peak(hit(h, kHighTom, 2)), 0.0);
    h.set(kMuteTag + 5, 0.0f);
    h.host().clearRecords();
    h.set(kSoloTag + 3, 1.0f); // switches the other solo off and tells the host
    auto automations = h.host().automations();
    ASSERT_EQ(automations.size(), 1u);
    EXPECT_EQ(automations[0].index, kSoloTag + 5);
    EXPECT_EQ(automations[0].value, 0.0f);
    h.render(44100 * 3); // let the high tom ring out
    EXPECT_EQ(peak(hit(h, kHighTom, 2)), 0.0);
    EXPECT_GT(peak(hit(h, kLowTom, 2)), 1e-3);
    // Another voice's solo switched off, or the program saved and loaded again (its load
    // restores the offs after the stored solo): the low tom stays soloed.
    h.set(kSoloTag + 4, 0.0f);
    ASSERT_EQ(h.host().setChunk(h.host().getChunk(true), true), 1);
    h.render(44100 * 3);
    EXPECT_EQ(peak(hit(h, kHighTom, 2)), 0.0);
    EXPECT_GT(peak(hit(h, kLowTom, 2)), 1e-3);
    h.set(kSoloTag + 3, 0.0f); // no solo: everybody audible again
    h.render(44100 * 3);
    EXPECT_GT(peak(hit(h, kHighTom, 2)), 1e-3);
    h.render(44100 * 3);
    h.set(kMuteTag + 5, 1.0f); // a hit while muted strikes nothing, also once unmuted
    hit(h, kHighTom, 2);
    h.set(kMuteTag + 5, 0.0f);
    EXPECT_EQ(peak(h.renderChannel(4096, 2)), 0.0);
}

TEST(Mixer, CompressorGainsBelowTheThresholdAndItsAttack) {
    // A quiet kick stays below the threshold: bus A carries it at the input and output gains,
    // 10 x 0.5 + 18 x 0.5 = 14 dB, against the raw bus B; Output A at its default, 0 dB.
    EngineHarness a, b;
    for (EngineHarness* h : {&a, &b}) {
        h->set(kLevelTag + 0, 0.2f);
        h->set(kCompressorTag, 0.5f);
        h->render(44100); // the detector starts at 0 dB: let it fall below the threshold
    }
    b.set(kOutputTag + 0, outputBusValue(1));
    std::vector<float> compressed = hit(a, kKick, 0), raw = hit(b, kKick, 2);
    ASSERT_GT(peak(raw), 1e-4);
    ASSERT_LT(peak(raw) * 5.0, std::pow(10.0, -15.0 / 20.0)); // below -15 dB after +5 dB
    for (size_t i = 0; i < raw.size(); ++i)
        ASSERT_NEAR(compressed[i], raw[i] * std::pow(10.0, 14.0 / 20.0), 1e-5) << i;

    // Full compression: with the shortest attack (1 ms) the detector catches the kick within
    // its first peaks; with ten seconds it hardly moves.
    auto hitPeak = [](float attack) {
        EngineHarness h;
        h.set(kCompressorTag, 1.0f);
        h.set(kCompressorAttackTag, attack);
        h.render(44100);
        return peak(hit(h, kKick, 0, 2048));
    };
    EXPECT_GT(hitPeak(1.0f), 1.5 * hitPeak(0.0f));
}

TEST(Mixer, MIDIOutputOnlyNotesAndMutes) {
    EngineHarness h;
    h.fillRow(0);
    h.set(kMIDIOutputOnlyTag, 1.0f);
    h.playInternal();
    int ons = 0;
    for (int block = 0; block < 100; ++block) {
        h.host().clearRecords();
        h.host().process(512, 12, 0.5f); // every sample must be overwritten with 0
        for (int c = 0; c < 12; ++c)
            ASSERT_EQ(peak(h.host().output(c)), 0.0);
        for (const VstMidiEvent& e : h.host().midiOut())
            ons += (unsigned char)e.midiData[0] == 0x90;
    }
    EXPECT_EQ(ons, 19); // 51200 samples / 2756.25
    h.set(kSyncTag, syncValue(0));
    EXPECT_EQ(peak(hit(h, kMIDInote[1], 0, 512)), 0.0); // a direct note: the mix is off entirely

    // Direct notes: a muted voice, notes without a voice and note-offs play nothing.
    h.set(kMIDIOutputOnlyTag, 0.0f);
    h.set(kOutputTag + 1, outputBusValue(1));
    h.set(kMuteTag + 1, 1.0f);
    for (int note : {38, 44, 47, 48, 50, 35, 52})
        EXPECT_EQ(peak(hit(h, note, 2)), 0.0) << note;
    h.host().sendMidi(0x80, kKick, 127);
    EXPECT_EQ(peak(h.renderChannel(512, 0)), 0.0);
    EXPECT_GT(peak(hit(h, kKick, 0, 512)), 1e-3);
}

TEST(Mixer, ClosedHatChokesOpenHatAndBothSoundInOneStep) {
    // Open hat on bus C at step 0; the closed hat (bus B) at step 2 chokes it.
    EngineHarness with, without, both;
    for (EngineHarness* h : {&with, &without, &both}) {
        h->set(kOutputTag + 6, outputBusValue(1));
        h->set(kOutputTag + 7, outputBusValue(2));
        h->fillRow(7, {0});
        h->fillRow(6, {h == &both ? 0 : 2});
        h->playInternal();
    }
    without.set(kMuteTag + 6, 1.0f); // no closed hat, no choke
    with.render(2756 * 2 + 100);
    without.render(2756 * 2 + 100);
    const double ringing = rms(without.renderChannel(4096, 4));
    EXPECT_GT(ringing, 1e-4);
    EXPECT_LT(rms(with.renderChannel(4096, 4)), ringing * 0.05);
    // The same two steps from MIDI step notes (restart, then two steps on).
    EngineHarness stepped;
    stepped.set(kOutputTag + 7, outputBusValue(2));
    stepped.fillRow(7, {0});
    stepped.fillRow(6, {2});
    stepped.set(kSyncTag, syncValue(2));
    stepped.host().sendMidi(0x90, 86, 100);
    stepped.render(2756);
    for (int step = 0; step < 2; ++step)
        stepped.host().sendMidi(0x90, 84, 100);
    stepped.render(100);
    EXPECT_LT(rms(stepped.renderChannel(4096, 4)), ringing * 0.05);
    // Both on the same step: the closed hat is handled first, the open hat still sounds.
    EXPECT_GT(rms(both.renderChannel(2048, 4)), 1e-4);
    EXPECT_GT(rms(both.host().output(2)), 1e-4);
}
