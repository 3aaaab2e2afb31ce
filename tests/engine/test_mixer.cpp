// Levels, mute, exclusive solo, More Cowbell, the equal-power pan law, bus routing, MIDI Output
// Only and the hat choke, measured on the outputs the host receives.
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace brakka_test;

namespace {

// Plays a voice by its MIDI note and renders one block of channel c.
std::vector<float> hit(EngineHarness& h, int note, int channel, int frames = 4096) {
    h.host().sendMidi(0x90, (unsigned char)note, 127);
    return h.renderChannel(frames, channel);
}

double ratioOfPeaks(const std::vector<float>& a, const std::vector<float>& b) {
    return peak(a) / peak(b);
}

} // namespace

TEST(Mixer, PanLawOnARawBus) {
    EngineHarness h;
    h.set(Brakka::kTagOutput + 0, outputBusValue(1)); // kick on bus B: no compressor, no gain
    h.host().sendMidi(0x90, 36, 127);
    h.host().process(2048);
    std::vector<float> left = h.host().output(2), right = h.host().output(3);
    ASSERT_GT(peak(left), 0.01);
    // Centre pan: k = 499, gains cos and sin of 499·π/2000.
    const double expected = std::cos(499 * M_PI / 2000) / std::sin(499 * M_PI / 2000);
    for (size_t i = 0; i < left.size(); ++i)
        if (std::fabs(right[i]) > 1e-4) {
            EXPECT_NEAR(left[i] / right[i], expected, 1e-4);
        }
    // Nothing reaches the other buses.
    for (int c : {0, 1, 4, 5, 6, 7, 8, 9, 10, 11})
        EXPECT_EQ(peak(h.host().output(c)), 0.0) << c;

    // Hard left: the right channel is exactly silent.
    h.set(Brakka::kTagPan + 0, 0.0f);
    h.host().sendMidi(0x90, 36, 127);
    h.host().process(2048);
    EXPECT_GT(peak(h.host().output(2)), 0.01);
    EXPECT_EQ(peak(h.host().output(3)), 0.0);
}

TEST(Mixer, EveryVoiceReachesItsBus) {
    const int notes[12] = {36, 38, 40, 41, 43, 45, 42, 46, 49, 37, 39, 51};
    for (int v = 0; v < 12; ++v) {
        EngineHarness h;
        const int bus = v % 6;
        // Voices 9..11 have integer outputs; 0.2·bus selects the same bus in both laws.
        h.set(Brakka::kTagOutput + v, v < 9 ? outputBusValue(bus) : bus * 0.2f);
        h.host().sendMidi(0x90, (unsigned char)notes[v], 127);
        h.host().process(4096);
        for (int c = 0; c < 12; ++c) {
            if (c / 2 == bus)
                EXPECT_GT(peak(h.host().output(c)), 1e-3) << "voice " << v << " channel " << c;
            else
                EXPECT_EQ(peak(h.host().output(c)), 0.0) << "voice " << v << " channel " << c;
        }
    }
}

TEST(Mixer, MuteAndLevel) {
    EngineHarness a, b;
    for (EngineHarness* h : {&a, &b})
        h->set(Brakka::kTagOutput + 0, outputBusValue(1));
    // Muted, then the level moved: still silent; unmuted: at the new level.
    a.set(Brakka::kTagMute + 0, 1.0f);
    a.set(Brakka::kTagLevel + 0, 0.7270f); // about -6 dB
    EXPECT_EQ(peak(hit(a, 36, 2)), 0.0);
    a.set(Brakka::kTagMute + 0, 0.0f);
    std::vector<float> quiet = hit(a, 36, 2);
    std::vector<float> loud = hit(b, 36, 2);
    EXPECT_NEAR(ratioOfPeaks(quiet, loud), std::pow(10.0, -6.0 / 20.0), 0.01);
}

TEST(Mixer, SoloIsExclusive) {
    EngineHarness h;
    for (int v : {3, 5})
        h.set(Brakka::kTagOutput + v, outputBusValue(1));
    h.set(Brakka::kTagSolo + 5, 1.0f);
    EXPECT_EQ(peak(hit(h, 41, 2)), 0.0); // low tom soloed away
    EXPECT_GT(peak(hit(h, 45, 2)), 1e-3);
    h.host().clearRecords();
    h.set(Brakka::kTagSolo + 3, 1.0f);
    auto automations = h.host().automations();
    ASSERT_EQ(automations.size(), 1u);
    EXPECT_EQ(automations[0].index, Brakka::kTagSolo + 5);
    EXPECT_EQ(automations[0].value, 0.0f);
    EXPECT_EQ(h.get(Brakka::kTagSolo + 5), 0.0f);
    h.render(44100 * 3); // let the high tom ring out
    EXPECT_EQ(peak(hit(h, 45, 2)), 0.0);
    EXPECT_GT(peak(hit(h, 41, 2)), 1e-3);
    // Switching the solo off makes everybody audible again.
    h.set(Brakka::kTagSolo + 3, 0.0f);
    h.render(44100 * 3);
    EXPECT_GT(peak(hit(h, 45, 2)), 1e-3);
}

TEST(Mixer, MoreCowbellPlaysAtFixedGain) {
    EngineHarness on, off;
    for (EngineHarness* h : {&on, &off})
        h->set(Brakka::kTagOutput + 11, 0.2f); // bus B
    on.set(Brakka::kTagMoreCowbell, 1.0f);
    on.set(Brakka::kTagLevel + 11, 0.5f); // the level no longer matters
    EXPECT_NEAR(ratioOfPeaks(hit(on, 51, 2), hit(off, 51, 2)), 1.2, 1e-4);
    // Switched off again, the level counts: 0.5 on the dB law is 44·log10(0.5131) - 0.25 dB.
    on.set(Brakka::kTagMoreCowbell, 0.0f);
    on.render(44100);
    const double level = std::pow(10.0, (44.0 * std::log10(0.5131) - 0.25) / 20.0);
    EXPECT_NEAR(ratioOfPeaks(hit(on, 51, 2), hit(off, 51, 2)), level, 0.002);
    // Muted, More Cowbell does not bring it back.
    on.set(Brakka::kTagMoreCowbell, 1.0f);
    on.set(Brakka::kTagMute + 11, 1.0f);
    on.render(44100);
    EXPECT_EQ(peak(hit(on, 51, 2)), 0.0);
}

TEST(Mixer, OutputAScalesTheCompressedBus) {
    EngineHarness a, b;
    b.set(Brakka::kTagOutputA, 0.0f); // -60 dB: much quieter
    std::vector<float> loud = hit(a, 36, 0);
    std::vector<float> quiet = hit(b, 36, 0);
    EXPECT_GT(peak(loud), 1e-3);
    EXPECT_LT(peak(quiet), peak(loud) * 0.01);
}

TEST(Mixer, MIDIOutputOnlyIsSilentWhileMIDIKeepsFlowing) {
    EngineHarness h;
    h.fillRow(0);
    h.set(Brakka::kTagMIDIOutputOnly, 1.0f);
    h.playInternal();
    std::vector<SentNote> notes;
    for (int block = 0; block < 100; ++block) {
        h.host().clearRecords();
        h.host().process(512, 12, 0.5f); // every sample must be overwritten with 0
        for (int c = 0; c < 12; ++c)
            for (float x : h.host().output(c))
                ASSERT_EQ(x, 0.0f);
        for (const VstMidiEvent& e : h.host().midiOut())
            if ((unsigned char)e.midiData[0] == 0x90) notes.push_back({});
    }
    EXPECT_EQ(notes.size(), 19u); // 51200 samples / 2756.25
    // Notes played directly still sound.
    h.set(Brakka::kTagSync, syncValue(0));
    h.host().sendMidi(0x90, 38, 127);
    h.host().process(512);
    EXPECT_EQ(peak(h.host().output(0)), 0.0); // mix is off entirely
}

TEST(Mixer, ClosedHatChokesOpenHatAndBothSoundInOneStep) {
    // Open hat on bus C. Step 0: open hat; step 2: closed hat (bus B) chokes it.
    EngineHarness with, without;
    for (EngineHarness* h : {&with, &without}) {
        h->set(Brakka::kTagOutput + 6, outputBusValue(1));
        h->set(Brakka::kTagOutput + 7, outputBusValue(2));
        h->fillRow(7, {0});
        h->fillRow(6, {2});
        h->playInternal();
    }
    without.set(Brakka::kTagMute + 6, 1.0f); // no closed hat, no choke
    with.render(2756 * 2 + 100);
    without.render(2756 * 2 + 100);
    std::vector<float> choked = with.renderChannel(4096, 4);
    std::vector<float> ringing = without.renderChannel(4096, 4);
    EXPECT_GT(rms(ringing), 1e-4);
    EXPECT_LT(rms(choked), rms(ringing) * 0.05);

    // Both hats on the same step: the closed hat is handled first, the open hat still sounds.
    EngineHarness both;
    both.set(Brakka::kTagOutput + 6, outputBusValue(1));
    both.set(Brakka::kTagOutput + 7, outputBusValue(2));
    both.fillRow(6, {0});
    both.fillRow(7, {0});
    both.playInternal();
    EXPECT_GT(rms(both.renderChannel(2048, 4)), 1e-4);
    EXPECT_GT(rms(both.host().output(2)), 1e-4);
}

TEST(Mixer, MIDINotesPlayVoicesAndRespectMutes) {
    EngineHarness h;
    h.set(Brakka::kTagOutput + 1, outputBusValue(1));
    h.set(Brakka::kTagMute + 1, 1.0f);
    EXPECT_EQ(peak(hit(h, 38, 2)), 0.0); // Snare 8 muted: nothing
    for (int note : {44, 47, 48, 50, 35, 52})
        EXPECT_EQ(peak(hit(h, note, 2)), 0.0) << note;
    h.host().sendMidi(0x80, 36, 127); // note-off: ignored
    EXPECT_EQ(peak(h.renderChannel(512, 0)), 0.0);
    // Controllers (unlearnt) change nothing.
    const float before = h.get(118);
    h.host().sendMidi(0xB0, 7, 100);
    h.host().sendMidi(0xB0, 123, 0);
    EXPECT_EQ(h.get(118), before);
    // A direct note is not sent to MIDI output.
    h.host().clearRecords();
    h.host().sendMidi(0x90, 36, 100);
    h.host().process(512);
    EXPECT_TRUE(h.host().midiOut().empty());
    EXPECT_GT(peak(h.host().output(0)), 1e-3);
}
