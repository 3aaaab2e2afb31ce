// Levels, mute, exclusive solo, More Cowbell, the pan law, bus routing, the output compressor,
// MIDI Output Only and the hat choke, measured on the outputs the host receives; several
// instances at their own rates in one process.
#include "csdmain.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>

using namespace brakka_test;
using B = Brakka;

namespace {

const int kKick = 36;

// Plays a voice by its MIDI note and renders one block of channel c.
std::vector<float> hit(EngineHarness& h, int note, int channel, int frames = 4096) {
    h.host().sendMidi(0x90, (unsigned char)note, 127);
    return h.renderChannel(frames, channel);
}

} // namespace

TEST(Mixer, PanLawOnARawBus) {
    // Kick on bus B (no compressor, no gain). Hard left (k = 0) gives gains 1 and 0; the centre
    // (k = 499) cos and sin of 499·π/2000: 0.70822 and 0.70600.
    EngineHarness centre, left;
    for (EngineHarness* h : {&centre, &left})
        h->set(B::kTagOutput + 0, outputBusValue(1));
    left.set(B::kTagPan + 0, 0.0f);
    for (EngineHarness* h : {&centre, &left}) {
        h->host().sendMidi(0x90, kKick, 127);
        h->host().process(2048);
    }
    const std::vector<float> x = left.host().output(2);
    const std::vector<float> l = centre.host().output(2), r = centre.host().output(3);
    ASSERT_GT(peak(x), 0.01);
    EXPECT_EQ(peak(left.host().output(3)), 0.0);
    for (size_t i = 0; i < x.size(); ++i) {
        EXPECT_NEAR(l[i], x[i] * 0.70822, 1e-5 + std::fabs(x[i]) * 1e-5);
        EXPECT_NEAR(r[i], x[i] * 0.70600, 1e-5 + std::fabs(x[i]) * 1e-5);
    }
    for (int c : {0, 1, 4, 5, 6, 7, 8, 9, 10, 11})
        EXPECT_EQ(peak(centre.host().output(c)), 0.0) << c;
}

TEST(Mixer, EveryVoiceReachesItsBus) {
    const int notes[12] = {36, 38, 40, 41, 43, 45, 42, 46, 49, 37, 39, 51};
    struct Case {
        int voice;
        float value;
        int bus;
    };
    std::vector<Case> cases;
    for (int v = 0; v < 12; ++v) // voices 9..11 have integer outputs: 0.2·bus in both laws
        cases.push_back({v, v < 9 ? outputBusValue(v % 6) : (v % 6) * 0.2f, v % 6});
    // Kickdrum (linear law): natural 0.95 is still bus A. Rimshot (integer law): normalized
    // 0.15 reads 1, bus B.
    for (Case c : {Case{0, 0.19f, 0}, Case{0, 0.21f, 1}, Case{9, 0.09f, 0}, Case{9, 0.15f, 1}})
        cases.push_back(c);
    for (const Case& c : cases) {
        EngineHarness h;
        h.set(B::kTagOutput + c.voice, c.value);
        h.host().sendMidi(0x90, (unsigned char)notes[c.voice], 127);
        h.host().process(4096);
        for (int ch = 0; ch < 12; ++ch) {
            SCOPED_TRACE("voice " + std::to_string(c.voice) + " value " + std::to_string(c.value) +
                         " channel " + std::to_string(ch));
            if (ch / 2 == c.bus)
                EXPECT_GT(peak(h.host().output(ch)), 1e-3);
            else
                EXPECT_EQ(peak(h.host().output(ch)), 0.0);
        }
    }
}

TEST(Mixer, MuteLevelAndOutputA) {
    EngineHarness a, b;
    for (EngineHarness* h : {&a, &b})
        h->set(B::kTagOutput + 0, outputBusValue(1));
    // Muted, then the level moved: still silent; unmuted: at the new level.
    a.set(B::kTagMute + 0, 1.0f);
    a.set(B::kTagLevel + 0, 0.7270f); // about -6 dB
    EXPECT_EQ(peak(hit(a, kKick, 2)), 0.0);
    a.set(B::kTagMute + 0, 0.0f);
    EXPECT_NEAR(peak(hit(a, kKick, 2)) / peak(hit(b, kKick, 2)), std::pow(10.0, -6.0 / 20.0), 0.01);

    EngineHarness loud, quiet;
    quiet.set(B::kTagOutputA, 0.0f); // -60 dB
    const double full = peak(hit(loud, kKick, 0));
    EXPECT_GT(full, 1e-3);
    EXPECT_LT(peak(hit(quiet, kKick, 0)), full * 0.01);
}

TEST(Mixer, SoloIsExclusive) {
    EngineHarness h;
    for (int v : {3, 5})
        h.set(B::kTagOutput + v, outputBusValue(1));
    h.set(B::kTagSolo + 5, 1.0f);
    EXPECT_EQ(peak(hit(h, 41, 2)), 0.0); // low tom soloed away
    EXPECT_GT(peak(hit(h, 45, 2)), 1e-3);
    h.set(B::kTagMute + 5, 1.0f); // a soloed voice still obeys its mute
    EXPECT_EQ(peak(hit(h, 45, 2)), 0.0);
    h.set(B::kTagMute + 5, 0.0f);
    h.host().clearRecords();
    h.set(B::kTagSolo + 3, 1.0f);
    auto automations = h.host().automations();
    ASSERT_EQ(automations.size(), 1u);
    EXPECT_EQ(automations[0].index, B::kTagSolo + 5);
    EXPECT_EQ(automations[0].value, 0.0f);
    h.render(44100 * 3); // let the high tom ring out
    EXPECT_EQ(peak(hit(h, 45, 2)), 0.0);
    EXPECT_GT(peak(hit(h, 41, 2)), 1e-3);
    h.set(B::kTagSolo + 3, 0.0f); // no solo: everybody audible again
    h.render(44100 * 3);
    EXPECT_GT(peak(hit(h, 45, 2)), 1e-3);
}

TEST(Mixer, MoreCowbellPlaysAtFixedGain) {
    EngineHarness on, off;
    for (EngineHarness* h : {&on, &off})
        h->set(B::kTagOutput + 11, 0.2f); // bus B
    on.set(B::kTagMoreCowbell, 1.0f);
    on.set(B::kTagLevel + 11, 0.5f); // the level no longer matters
    EXPECT_NEAR(peak(hit(on, 51, 2)) / peak(hit(off, 51, 2)), 1.2, 1e-4);
    // Switched off again, the level counts: 0.5 on the dB law is 44·log10(0.5131) - 0.25 dB.
    on.set(B::kTagMoreCowbell, 0.0f);
    on.render(44100);
    const double level = std::pow(10.0, (44.0 * std::log10(0.5131) - 0.25) / 20.0);
    EXPECT_NEAR(peak(hit(on, 51, 2)) / peak(hit(off, 51, 2)), level, 0.002);
    // Muted, More Cowbell does not bring it back.
    on.set(B::kTagMoreCowbell, 1.0f);
    on.set(B::kTagMute + 11, 1.0f);
    on.render(44100);
    EXPECT_EQ(peak(hit(on, 51, 2)), 0.0);
}

TEST(Mixer, CompressorGainsBelowTheThresholdAndItsAttack) {
    // A quiet kick stays below the threshold: bus A then carries it at the input and output
    // gains, 10 x 0.5 + 18 x 0.5 = 14 dB, against the raw bus B. Output A at its default, 0 dB.
    EngineHarness a, b;
    BrakkaParameterManager table;
    for (EngineHarness* h : {&a, &b}) {
        h->set(B::kTagLevel + 0, 0.2f);
        h->set(B::kTagCompressor, 0.5f);
        h->set(B::kTagOutputA, 0.5f);
    }
    b.set(B::kTagOutput + 0, outputBusValue(1));
    a.set(B::kTagOutputA, table.getVSTvalue(B::kTagOutputA));
    a.render(44100); // the detector starts at 0 dB: let it fall below the threshold first
    b.render(44100);
    std::vector<float> compressed = hit(a, kKick, 0), raw = hit(b, kKick, 2);
    ASSERT_GT(peak(raw), 1e-4);
    ASSERT_LT(peak(raw) * 5.0, std::pow(10.0, -15.0 / 20.0)); // below -15 dB after +5 dB
    for (size_t i = 0; i < raw.size(); ++i)
        EXPECT_NEAR(compressed[i], raw[i] * std::pow(10.0, 14.0 / 20.0), 1e-5) << i;

    // Full compression (+10 dB in, threshold -30 dB): with the shortest attack (1 ms) the
    // detector catches the kick within its first peaks; with ten seconds it hardly moves.
    auto hitPeak = [](float attack) {
        EngineHarness h;
        h.set(B::kTagCompressor, 1.0f);
        h.set(B::kTagCompressorAttack, attack);
        h.render(44100);
        return peak(hit(h, kKick, 0, 2048));
    };
    EXPECT_GT(hitPeak(1.0f), 1.5 * hitPeak(0.0f));
}

TEST(Mixer, MIDIOutputOnlyIsSilentWhileMIDIKeepsFlowing) {
    EngineHarness h;
    h.fillRow(0);
    h.set(B::kTagMIDIOutputOnly, 1.0f);
    h.playInternal();
    int ons = 0;
    for (int block = 0; block < 100; ++block) {
        h.host().clearRecords();
        h.host().process(512, 12, 0.5f); // every sample must be overwritten with 0
        for (int c = 0; c < 12; ++c)
            for (float x : h.host().output(c))
                ASSERT_EQ(x, 0.0f);
        for (const VstMidiEvent& e : h.host().midiOut())
            ons += (unsigned char)e.midiData[0] == 0x90;
    }
    EXPECT_EQ(ons, 19); // 51200 samples / 2756.25
    h.set(B::kTagSync, syncValue(0));
    h.host().sendMidi(0x90, 38, 127); // a direct note: the mix is off entirely
    h.host().process(512);
    EXPECT_EQ(peak(h.host().output(0)), 0.0);
}

TEST(Mixer, ClosedHatChokesOpenHatAndBothSoundInOneStep) {
    // Open hat on bus C. Step 0: open hat; step 2: closed hat (bus B) chokes it.
    EngineHarness with, without, both;
    for (EngineHarness* h : {&with, &without, &both}) {
        h->set(B::kTagOutput + 6, outputBusValue(1));
        h->set(B::kTagOutput + 7, outputBusValue(2));
        h->fillRow(7, {0});
        h->fillRow(6, {h == &both ? 0 : 2});
        h->playInternal();
    }
    without.set(B::kTagMute + 6, 1.0f); // no closed hat, no choke
    with.render(2756 * 2 + 100);
    without.render(2756 * 2 + 100);
    const double ringing = rms(without.renderChannel(4096, 4));
    EXPECT_GT(ringing, 1e-4);
    EXPECT_LT(rms(with.renderChannel(4096, 4)), ringing * 0.05);
    // Both hats on the same step: the closed hat is handled first, the open hat still sounds.
    EXPECT_GT(rms(both.renderChannel(2048, 4)), 1e-4);
    EXPECT_GT(rms(both.host().output(2)), 1e-4);
}

TEST(Mixer, MIDINotesPlayVoicesAndRespectMutes) {
    EngineHarness h;
    h.set(B::kTagOutput + 1, outputBusValue(1));
    h.set(B::kTagMute + 1, 1.0f);
    EXPECT_EQ(peak(hit(h, 38, 2)), 0.0); // Snare 8 muted: nothing
    for (int note : {44, 47, 48, 50, 35, 52})
        EXPECT_EQ(peak(hit(h, note, 2)), 0.0) << note;
    h.host().sendMidi(0x80, kKick, 127); // note-off: ignored
    EXPECT_EQ(peak(h.renderChannel(512, 0)), 0.0);
    const float before = h.get(118); // unlearnt controllers change nothing
    h.host().sendMidi(0xB0, 7, 100);
    h.host().sendMidi(0xB0, 123, 0);
    EXPECT_EQ(h.get(118), before);
    h.host().clearRecords(); // a direct note sounds and is not sent to MIDI output
    EXPECT_GT(peak(hit(h, kKick, 0, 512)), 1e-3);
    EXPECT_TRUE(h.host().midiOut().empty());
}

TEST(Mixer, EveryInstanceRunsAtItsOwnRate) {
    // Every voice struck once, a third of a second rendered (bus A, both channels).
    auto play = [](EngineHarness& h, float rate) {
        std::vector<VstMidiEvent> notes;
        for (int note : {36, 37, 38, 39, 40, 41, 43, 45, 46, 49, 51})
            notes.push_back(FakeHost::makeMidi(0x90, (unsigned char)note, 127));
        h.host().sendEvents(notes);
        std::vector<float> out;
        for (long n = 0; n < (long)(rate / 3); n += 512) {
            h.host().process(512);
            for (int c : {0, 1})
                out.insert(out.end(), h.host().output(c).begin(), h.host().output(c).end());
        }
        return out;
    };
    const float rates[] = {48000.0f, 48000.0f, 96000.0f, 22050.0f, 44100.0f, 192000.0f};
    // Each rate with one instance alone in the process, the process-wide rate at its start.
    std::vector<std::vector<float>> lone;
    for (float rate : rates) {
        csd_set_attr(kCsdAttrSamplingRate, 44100.0f);
        EngineHarness h(rate);
        lone.push_back(play(h, rate));
    }
    // All of them at once: created one after another, then played on threads of their own.
    std::vector<std::unique_ptr<EngineHarness>> all;
    for (float rate : rates)
        all.push_back(std::make_unique<EngineHarness>(rate));
    std::vector<std::vector<float>> together(all.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < all.size(); ++i)
        threads.emplace_back([&, i] { together[i] = play(*all[i], rates[i]); });
    for (std::thread& t : threads)
        t.join();
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_GT(peak(lone[i]), 0.1) << rates[i];
        EXPECT_TRUE(together[i] == lone[i]) << "instance " << i << " at " << rates[i] << " Hz";
    }
}
