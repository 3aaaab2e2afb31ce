// The render loop, the mixer and MIDI input and output of the engine. Everything here runs on
// the host's audio thread: nothing allocates, waits or does I/O.
#include "Brakka.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <xmmintrin.h>

namespace {

// MIDI input: notes kFirstVoiceNote..kLastVoiceNote play the voices (kMIDInote), the sixteen
// notes from kFirstPatternNote select patterns, and three notes step the sequencer.
const int kFirstVoiceNote = 36;
const int kLastVoiceNote = 51;
const int kFirstPatternNote = 60;
const int kStepBackNote = 83;
const int kStepForwardNote = 84;
const int kStepRestartNote = 86;

// Voice of each input note from kFirstVoiceNote to kLastVoiceNote, -1 for notes that play nothing:
// the inverse of kMIDInote.
struct NoteVoiceTable {
    signed char voice[kLastVoiceNote - kFirstVoiceNote + 1];
    constexpr NoteVoiceTable() : voice() {
        for (signed char& v : voice)
            v = -1;
        for (int v = 0; v < kNumVoices; ++v)
            voice[kMIDInote[v] - kFirstVoiceNote] = (signed char)v;
    }
};
constexpr NoteVoiceTable kNoteVoice;

const int kClosedHat = BrakkaVoiceBank::kClosedHat;
const double kTicksPerQuarter = 24.0;
const double kSixteenthsPerQuarter = 4.0;
const double kTicksPerSixteenth = 6.0;

// The step clock's swing. Positions count quarter notes, ticks 96ths of a 4/4 bar. Within each
// pair of sixteenths, the first sixteenth of real time covers warped time [0, swing) and the
// second covers [swing, 2): the warped time is continuous, equal to the real one at every even
// sixteenth, and with swing < 1 every odd sixteenth comes late. A swing of 1 is no swing.
class SwingWarp {
public:
    explicit SwingWarp(double swing)
        : swing(swing), secondSlope(2.0 - swing), secondOffset(2.0 * swing) {}

    int tickAt(double position) const {
        // Positions are never negative here, and for them the subtraction is exact: the same
        // value as fmod(sixteenths, 2), without a library call per sample.
        const double sixteenths = position * kSixteenthsPerQuarter;
        const double intoPair = sixteenths - 2.0 * std::floor(sixteenths * 0.5);
        const double sixteenthStart = std::floor(sixteenths);
        const double warped = intoPair < 1.0
                                  ? sixteenthStart + intoPair * swing
                                  : sixteenthStart + (intoPair * secondSlope - 3.0 + secondOffset);
        const double ticks = warped * kTicksPerSixteenth;
        return ticks < (double)INT_MAX ? (int)ticks : INT_MAX;
    }

private:
    double swing;        // warped length of the pair's first sixteenth
    double secondSlope;  // warped length of the second: 2 - swing
    double secondOffset; // 2 x swing
};

// Flushes denormals to zero for the lifetime of the object and restores the caller's mode.
class DenormalGuard {
public:
    DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040); }
    ~DenormalGuard() { _mm_setcsr(saved); }

private:
    unsigned int saved;
};

void writeSilence(float** outputs, int channels, int frames) {
    for (int c = 0; c < channels; ++c)
        if (outputs[c]) std::memset(outputs[c], 0, sizeof(float) * (size_t)frames);
}

} // namespace

void Brakka::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    if (!outputs || frames <= 0) return;
    DenormalGuard denormals;
    markAudioThread(frames);
    realtimeBlocks = isRealtimeLevel(getCurrentProcessLevel());
    if (!tryEnter(true)) {
        // The events wait for the next block.
        missedBlocks.fetch_add(1, std::memory_order_relaxed);
        writeSilence(outputs, kNumOutputs, frames);
        blocksEnded.fetch_add(1, std::memory_order_release);
        return;
    }
    renderBlock(outputs, frames);
    leaveLocked();
    blocksEnded.fetch_add(1, std::memory_order_release);
    flushAutomationOutbox();
}

void Brakka::sortIncomingEvents(int frames) {
    // Offsets outside the block are clamped into it; a stable insertion sort keeps the host's
    // order among events of one sample (lists are almost always sorted already).
    for (int n = 0; n < audioOnly.incomingEventCount; ++n) {
        IncomingEvent e = audioOnly.incomingEvents[n];
        e.delta = e.delta < 0 ? 0 : (e.delta >= frames ? frames - 1 : e.delta);
        int k = n;
        for (; k > 0 && audioOnly.incomingEvents[k - 1].delta > e.delta; --k)
            audioOnly.incomingEvents[k] = audioOnly.incomingEvents[k - 1];
        audioOnly.incomingEvents[k] = e;
    }
}

void Brakka::renderBlock(float** outputs, int frames) {
    const int sync = (int)natural(kSyncTag);
    audioOnly.hostTimeValid = false;
    if (sync == kSyncHost) {
        VstTimeInfo* info = getTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid);
        const int need = kVstPpqPosValid | kVstTempoValid;
        bool playing = false;
        if (info && (info->flags & need) == need && std::isfinite(info->ppqPos) &&
            std::isfinite(info->tempo) && info->tempo > 0.0) {
            playing = (info->flags & kVstTransportPlaying) != 0;
            audioOnly.hostTimeValid = true;
            audioOnly.hostBeatUnit = 4.0;
            if ((info->flags & kVstTimeSigValid) && info->timeSigDenominator > 0)
                audioOnly.hostBeatUnit = (double)info->timeSigDenominator;
            audioOnly.hostBlockTempo = info->tempo;
            hostTempo.store(info->tempo, std::memory_order_relaxed);
            double p = info->ppqPos;
            // Hosts round ppqPos, so a block may start a little behind or ahead of where the
            // last one ended; within one tick keep running from our own position so that no
            // step fires twice or is skipped. Larger jumps (loops, relocation) follow the host.
            if (playing && hostWasPlaying &&
                std::fabs(p - hostExpectedPosition) < 1.0 / kTicksPerQuarter)
                p = hostExpectedPosition;
            songPosition = p;
        }
        if (playing && !hostWasPlaying) startPending = true;
        transportPlaying = playing;
        hostWasPlaying = playing;
    } else {
        hostWasPlaying = false;
    }

    // Segments: the events due at a sample act (in order), then the clock and the mix run up to
    // the next event's sample. The sequencer's steps fall inside the segments, so events and
    // steps interleave by sample, and the result does not depend on the block size.
    sortIncomingEvents(frames);
    queueIncomingNotes();
    int next = 0;
    for (int from = 0; from < frames;) {
        while (next < audioOnly.incomingEventCount && audioOnly.incomingEvents[next].delta <= from)
            applyIncomingEvent(audioOnly.incomingEvents[next++], from);
        const int to =
            next < audioOnly.incomingEventCount ? audioOnly.incomingEvents[next].delta : frames;
        renderSegment(outputs, from, to, beginSegment());
        from = to;
    }
    audioOnly.incomingEventCount = 0;
    if (sync == kSyncHost) hostExpectedPosition = songPosition;
    warmNextStep(frames);
    preparePatternSwitch();
}

Brakka::SegmentClock Brakka::beginSegment() {
    const double rate = voiceRate;
    SegmentClock c;
    c.swing = dsp(kSwingTag);
    c.outputAGain = dsp(kOutputATag);
    c.increment = 0.0;
    c.noteLength = (int)(rate * 0.0625);
    const int sync = (int)natural(kSyncTag);
    if (sync == kSyncHost) {
        if (audioOnly.hostTimeValid) {
            // The host's position and tempo count quarter notes in every time signature.
            c.increment = audioOnly.hostBlockTempo / (60.0 * rate);
            c.noteLength = (int)(rate / ((32.0 / audioOnly.hostBeatUnit) *
                                         audioOnly.hostBlockTempo * (1.0 / 60.0)));
        }
    } else if (sync == kSyncInternal) {
        const double tempo = natural(kTempoTag);
        if (transportPlaying) c.increment = (1.0 / rate) * tempo * (1.0 / 60.0);
        c.noteLength = (int)(rate / (tempo * 8.0 * (1.0 / 60.0)));
    } else {
        c.swing = 1.0f;
    }
    return c;
}

void Brakka::renderSegment(float** outputs, int from, int to, const SegmentClock& clock) {
    const SwingWarp swing(clock.swing);
    clockIncrement = clock.increment;
    clockSwing = clock.swing;
    int step = lastStep;
    double position = songPosition;

    // The clock runs sample by sample; the voices and the mixer run in blocks up to each
    // sample where a tick strikes or changes a value (see mixPending), so every strike lands
    // on its own sample.
    int mixedUpTo = from;
    for (int frame = from; frame < to; ++frame, position += clock.increment) {
        if (!transportPlaying || position < 0.0) continue;
        const int tick = swing.tickAt(position);
        if (tick == lastTick && !startPending) continue;
        pendingMix = {outputs, mixedUpTo, frame, clock.outputAGain};
        step = clockTick(tick, frame, clock.noteLength, step);
        if (!pendingMix.outputs) mixedUpTo = frame;
        pendingMix.outputs = nullptr;
    }
    mixBlock(outputs, mixedUpTo, to, clock.outputAGain);

    lastStep = step;
    songPosition = position;
}

double Brakka::framesToNextTick() const {
    if (!transportPlaying || !(clockIncrement > 0.0)) return -1.0;
    if (startPending) return 0.0;
    const double position = songPosition;
    if (position < 0.0) return -position / clockIncrement;
    // Where the next tick begins in warped sixteenths, taken back to quarter notes (the
    // inverse of SwingWarp).
    const double swing = clockSwing > 0.05f && clockSwing <= 1.0f ? clockSwing : 1.0;
    const int tick = SwingWarp(swing).tickAt(position);
    if (tick != lastTick) return 0.0; // the clock ticks at the block's first sample
    const double warped = (tick + 1.0) / kTicksPerSixteenth;
    const double pair = 2.0 * std::floor(warped / 2.0);
    const double into = warped - pair;
    const double real = into < swing ? into / swing : (into + 2.0 - 2.0 * swing) / (2.0 - swing);
    const double frames = ((pair + real) / kSixteenthsPerQuarter - position) / clockIncrement;
    return frames > 0.0 ? frames : 0.0;
}

void Brakka::warmNextStep(int frames) {
    if (!realtimeBlocks) return;
    const double wait = framesToNextTick();
    if (wait < 0.0 || wait >= (double)frames) return;
    // The next tick falls into the next block (if it is as long as this one): does it play a
    // step, and of which pattern?
    const int step = currentSequencer->stepAt((unsigned)(lastTick + 1));
    if (step == currentSequencer->getCurrentStep()) return;
    const BrakkaProgram& program = currentProgram();
    const int p = step == 0 ? clampPattern(pendingPattern) : clampPattern(currentPattern);
    const BrakkaSequencer& sequencer = program.patterns[p];
    unsigned sum = sequencer.touchStep(step);
    // A switch stores the new pattern's values in the table.
    float values = 0.0f;
    if (p != currentPattern)
        for (const auto& [tag, value] : program.patternValues[p])
            values += parameters.getVSTvalue(tag) + value;
    for (int v = 0; v < kNumVoices; ++v)
        if (sequencer.getNote(v, step)) sum += voices.voices[v]->touchStrikeData();
    volatile float sink = values + (float)sum;
    (void)sink;
}

int Brakka::clockTick(int tick, int frame, int noteLength, int step) {
    // A start (Play, or the host's transport starting) fires the step it lands on even when the
    // pattern already sits there.
    const bool start = startPending;
    finishProgramLoad();
    ++ticksCounted;
    lastTick = tick;
    startPending = false;
    const bool newStep = currentSequencer->setCurrent96th((unsigned)tick) || start;
    if (!newStep) {
        fireRandomNotes(frame, noteLength);
        return step;
    }
    step = currentSequencer->getCurrentStep();
    if (step == 0) step = patternStart((unsigned)tick, true, step);
    fireStep(step, frame, noteLength, false);
    if (editorInterface) editorInterface->setCurrentStep(step);
    return step;
}

void Brakka::mixPending() {
    if (!pendingMix.outputs) return;
    mixBlock(pendingMix.outputs, pendingMix.from, pendingMix.to, pendingMix.outputAGain);
    pendingMix.outputs = nullptr;
    // What is due at this frame acts before the change that called.
    if (voiceEventsQueued > 0)
        for (int v = 0; v < kNumVoices; ++v)
            applyVoiceEventsDue(v, pendingMix.to + 1);
}

void Brakka::pushVoiceEvent(VoiceEventQueue& queue, const VoiceEvent& event) {
    // After the events of the same frame or earlier: queues are short, notes mostly in order.
    int k = queue.count++;
    for (; k > queue.next && queue.events[k - 1].frame > event.frame; --k)
        queue.events[k] = queue.events[k - 1];
    queue.events[k] = event;
}

void Brakka::queueIncomingNotes() {
    IncomingEvent* events = audioOnly.incomingEvents;
    const int count = audioOnly.incomingEventCount;
    int kept = 0;
    auto isVoiceNote = [](const IncomingEvent& e) {
        return e.status == 0x90 && e.data1 >= kFirstVoiceNote && e.data1 <= kLastVoiceNote;
    };
    for (int n = 0; n < count; ++n) {
        const IncomingEvent e = events[n];
        if (isVoiceNote(e)) {
            const int v = kNoteVoice.voice[e.data1 - kFirstVoiceNote];
            if (v < 0) continue; // plays nothing
            // Another kind of event after it at its frame (the list is sorted) acts after it:
            // the note acts at once, as that event will. Those before it act first anyway.
            bool alone = true;
            for (int m = n + 1; alone && m < count && events[m].delta == e.delta; ++m)
                alone = isVoiceNote(events[m]);
            VoiceEventQueue& queue = voiceEvents[v];
            VoiceEventQueue& openHat = voiceEvents[BrakkaVoiceBank::kOpenHat];
            if (alone && queue.count < VoiceEventQueue::kSize &&
                (v != kClosedHat || openHat.count < VoiceEventQueue::kSize)) {
                if (v == kClosedHat) {
                    pushVoiceEvent(openHat, {e.delta, kNoteChokeEvent, 0.0f, 0, 0});
                    ++voiceEventsQueued;
                }
                pushVoiceEvent(queue, {e.delta, kNoteEvent, e.data2 * 0.007874016f, 0, 0});
                ++voiceEventsQueued;
                continue;
            }
        }
        events[kept++] = e;
    }
    audioOnly.incomingEventCount = kept;
}

bool Brakka::queueStrike(int v, int step, float velocity, bool modulate) {
    if (!pendingMix.outputs) return false;
    const int frame = pendingMix.to;
    VoiceEventQueue& queue = voiceEvents[v];
    VoiceEventQueue& openHat = voiceEvents[BrakkaVoiceBank::kOpenHat];
    if (queue.count == VoiceEventQueue::kSize) return false;
    if (v == kClosedHat && openHat.count == VoiceEventQueue::kSize) return false;
    const int firstMod = voiceEventModCount;
    int mods = 0;
    if (modulate) {
        BrakkaSequencer* seq = currentSequencer;
        bool fits = true;
        seq->forEachVoiceModTag(v, [&](unsigned tag) {
            // Tags that change the mix itself (a level, a pan, More Cowbell) act at once.
            if (!fits || tag > (unsigned)kLastSoundTag || tag == (unsigned)kMoreCowbellTag ||
                firstMod + mods == kVoiceEventMods) {
                fits = false;
                return;
            }
            voiceEventMods[firstMod + mods++] = {
                (int)tag, parameters.getModulatedDSPValue(tag, seq->getModValue(tag, step))};
        });
        if (!fits) return false;
        seq->forEachVoiceModTag(v, [&](unsigned tag) { notDispatched[tag] = true; });
    }
    voiceEventModCount += mods;
    pushVoiceEvent(queue, {frame, kStrikeEvent, velocity, firstMod, mods});
    ++voiceEventsQueued;
    if (v == kClosedHat) {
        pushVoiceEvent(openHat, {frame, kChokeEvent, 0.0f, 0, 0});
        ++voiceEventsQueued;
    }
    return true;
}

void Brakka::applyVoiceEvent(int v, const VoiceEvent& event) {
    switch (event.kind) {
    case kNoteChokeEvent:
        if (voiceGain[kClosedHat] == 0.0f) return;
        [[fallthrough]];
    case kChokeEvent:
        voices.openHat.choke();
        return;
    case kNoteEvent:
        if (voiceGain[v] == 0.0f) return;
        break;
    default:
        for (int m = event.firstMod; m < event.firstMod + event.mods; ++m)
            setSoundParameter(voiceEventMods[m].tag, voiceEventMods[m].value);
        break;
    }
    voices.voices[v]->thwack(event.velocity);
}

void Brakka::applyVoiceEventsDue(int v, int before) {
    VoiceEventQueue& queue = voiceEvents[v];
    while (queue.next < queue.count && queue.events[queue.next].frame < before) {
        applyVoiceEvent(v, queue.events[queue.next++]);
        --voiceEventsQueued;
    }
    if (queue.next == queue.count) queue.count = queue.next = 0;
    if (voiceEventsQueued == 0) voiceEventModCount = 0;
}

// Samples from .. to - 1 of all outputs: each voice renders a block, which is scaled by its gain,
// panned and summed into its bus; bus A passes the compressor and the Output A gain.
void Brakka::mixBlock(float** outputs, int from, int to, float outputAGain) {
    if (midiOutputOnly) {
        for (int channel = 0; channel < kNumOutputs; ++channel)
            if (outputs[channel] && to > from)
                std::memset(outputs[channel] + from, 0, sizeof(float) * (size_t)(to - from));
        if (voiceEventsQueued > 0)
            for (int voice = 0; voice < kNumVoices; ++voice)
                applyVoiceEventsDue(voice, to);
        return;
    }
    const int kMixBlock = 64;
    for (int start = from; start < to; start += kMixBlock) {
        const int frames = to - start < kMixBlock ? to - start : kMixBlock;
        // A bus's sums are cleared when its first sounding voice arrives; a bus that no voice
        // reached is silent.
        float busLeft[kNumOutputBuses][kMixBlock];
        float busRight[kNumOutputBuses][kMixBlock];
        bool busSounds[kNumOutputBuses] = {};
        float samples[kMixBlock];
        // Voice's samples from .. from + sounding - 1 of this block into its bus.
        auto add = [&](int voice, float gain, int from, int sounding) {
            const int bus = outputBus[voice];
            const float panLeft = panGainLeft[voice], panRight = panGainRight[voice];
            float* left = busLeft[bus];
            float* right = busRight[bus];
            if (!busSounds[bus]) {
                busSounds[bus] = true;
                std::memset(left, 0, sizeof(float) * (size_t)frames);
                std::memset(right, 0, sizeof(float) * (size_t)frames);
            }
            for (int i = from; i < from + sounding; ++i) {
                const float x = samples[i] * gain;
                left[i] += panLeft * x;
                right[i] += panRight * x;
            }
        };
        for (int voice = 0; voice < kNumVoices; ++voice) {
            const float gain = voiceGain[voice];
            const VoiceEventQueue& queue = voiceEvents[voice];
            const bool due = voiceEventsQueued > 0 && queue.next < queue.count &&
                             queue.events[queue.next].frame < start + frames;
            if (gain == 0.0f) {
                // Not rendered; a choke from the closed hat still acts.
                if (due) applyVoiceEventsDue(voice, start + frames);
                continue;
            }
            // A silent voice adds nothing (its zeros would leave every sum as it is).
            if (!due) {
                const int sounding = voices.voices[voice]->process(samples, frames);
                if (sounding > 0) add(voice, gain, 0, sounding);
                continue;
            }
            // The voice renders up to each of its strikes due in this block, then from there.
            for (int done = 0; done < frames;) {
                int upTo = frames;
                if (queue.next < queue.count && queue.events[queue.next].frame < start + frames) {
                    upTo = queue.events[queue.next].frame - start;
                    if (upTo <= done) {
                        applyVoiceEventsDue(voice, start + done + 1);
                        continue;
                    }
                }
                const int sounding = voices.voices[voice]->process(samples + done, upTo - done);
                if (sounding > 0) add(voice, gain, done, sounding);
                done = upTo;
            }
        }
        float* outA[2] = {outputs[0] ? outputs[0] + start : nullptr,
                          outputs[1] ? outputs[1] + start : nullptr};
        if (busSounds[0])
            compressor.processStereo(busLeft[0], busRight[0], outA[0], outA[1], frames,
                                     outputAGain);
        else
            compressor.processSilence(outA[0], outA[1], frames, outputAGain);
        for (int bus = 1; bus < kNumOutputBuses; ++bus) {
            const size_t bytes = sizeof(float) * (size_t)frames;
            for (int side = 0; side < 2; ++side) {
                float* out = outputs[2 * bus + side];
                if (!out) continue;
                if (busSounds[bus])
                    std::memcpy(out + start, side ? busRight[bus] : busLeft[bus], bytes);
                else
                    std::memset(out + start, 0, bytes);
            }
        }
    }
}

// The pattern has come back to step 0: take a queued pattern, re-randomize the rows marked for
// it. Returns the step to fire.
int Brakka::patternStart(unsigned tick, bool fromClock, int step) {
    if (pendingPattern != currentPattern) {
        switchPatternAtStart(pendingPattern);
        if (fromClock) {
            currentSequencer->setCurrent96th(tick);
            step = currentSequencer->getCurrentStep();
        } else {
            currentSequencer->setCurrent96th(0);
            step = 0;
        }
    }
    BrakkaSequencer* seq = currentSequencer;
    for (int v = 0; v < kNumVoices; ++v) {
        if (natural(kRandomResetTag + v) == 1.0f) {
            seq->randomizeNotes(v);
            if (editorInterface) {
                unsigned char row[kNumSteps];
                seq->getNoteRow(v, row);
                editorInterface->noteRowChanged(v, row);
            }
        }
        if (seq->getVelocityRandomOnLoop(v)) {
            seq->fillVelocityValues(v, 4);
            if (editorInterface) editorInterface->modRowChanged(kVelocityRowChanged);
        }
        if (!fromClock || !midiOutputOnly) {
            seq->forEachVoiceModTag(v, [&](unsigned tag) {
                if (seq->getModRandomOnLoop(tag) && seq->hasModRow(tag)) {
                    seq->fillModValues(tag, 4);
                    if (editorInterface) editorInterface->modRowChanged((int)tag);
                }
            });
        }
    }
    return fromClock ? step : 0;
}

void Brakka::applyStepModulation(int v, int step) {
    mixPending();
    BrakkaSequencer* seq = currentSequencer;
    seq->forEachVoiceModTag(v, [&](unsigned tag) {
        notDispatched[tag] = true;
        setVoiceParameter((int)tag,
                          parameters.getModulatedDSPValue(tag, seq->getModValue(tag, step)));
    });
}

void Brakka::strike(int v, float velocity) {
    mixPending();
    voices.voices[v]->thwack(velocity);
    if (v == kClosedHat) voices.openHat.choke();
}

void Brakka::finishProgramLoad() {
    // The sequencer plays with the whole program: a load under way is completed at the next
    // tick (or MIDI step).
    if (loadNextValue < 0) return;
    workDeadline = 0;
    continueProgramLoad();
}

void Brakka::fireStep(int step, int deltaFrames, int noteLength, bool fromMIDIStep) {
    // The values a pattern switch still has to tell others are in the engine already.
    if (!loadOnlyTells) finishProgramLoad();
    BrakkaSequencer* seq = currentSequencer;
    for (int v = 0; v < kNumVoices; ++v) {
        if (voiceGain[v] == 0.0f) continue;
        if (!seq->getWeightedNote(v, step) && !seq->getRandomNote(v)) continue;
        const float velocity = seq->getVelocity(v, step);
        if ((fromMIDIStep || !midiOutputOnly) && !queueStrike(v, step, velocity, true)) {
            applyStepModulation(v, step);
            strike(v, velocity);
        }
        sendMIDINote(v, velocity, deltaFrames, noteLength);
    }
}

void Brakka::fireRandomNotes(int deltaFrames, int noteLength) {
    BrakkaSequencer* seq = currentSequencer;
    for (int v = 0; v < kNumVoices; ++v) {
        if (!seq->getRandomNote(v) || voiceGain[v] == 0.0f) continue;
        float velocity = seq->getRandomVelocity(v);
        if (velocity == 0.0f) velocity = seq->getVelocityValue(v, seq->getCurrentStep());
        if (!midiOutputOnly && !queueStrike(v, 0, velocity, false)) strike(v, velocity);
        sendMIDINote(v, velocity, deltaFrames, noteLength);
    }
}

// --- MIDI input -------------------------------------------------------------------------------

VstInt32 Brakka::processEvents(VstEvents* events) {
    // The events are kept for the block that follows and act there at their own sample
    // (applyIncomingEvent). Only those that can do something are kept.
    if (!events || events->numEvents < 1) return 1;
    markAudioThread(0);
    for (int e = 0; e < events->numEvents; ++e) {
        const VstEvent* event = events->events[e];
        if (!event || event->type != kVstMidiType) continue;
        const VstMidiEvent* midi = reinterpret_cast<const VstMidiEvent*>(event);
        const unsigned char status = (unsigned char)midi->midiData[0] & 0xF0;
        const unsigned char data1 = (unsigned char)midi->midiData[1] & 127;
        const unsigned char data2 = (unsigned char)midi->midiData[2] & 127;
        const bool control = status == 0xB0 && data1 != 123 && data1 != 126;
        if (!control && (status != 0x90 || data2 == 0)) continue;
        if (audioOnly.incomingEventCount == AudioThreadOnly::kMaxIncomingEvents) {
            droppedEvents.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        audioOnly.incomingEvents[audioOnly.incomingEventCount++] = {midi->deltaFrames, status,
                                                                    data1, data2};
    }
    return 1;
}

void Brakka::applyIncomingEvent(const IncomingEvent& event, int frame) {
    if (event.status == 0xB0) {
        midiController((char)event.data1, (char)event.data2);
        return;
    }
    const float velocity = event.data2 * 0.007874016f;
    const int note = event.data1;
    if (note >= kFirstPatternNote && note < kFirstPatternNote + kNumPatterns) {
        setCurrentPatternDeferred(note - kFirstPatternNote);
    } else if (note == kStepBackNote || note == kStepForwardNote || note == kStepRestartNote) {
        if ((int)natural(kSyncTag) == kSyncMIDINote) midiStep(note, frame);
    } else if (note >= kFirstVoiceNote && note <= kLastVoiceNote) {
        const int v = kNoteVoice.voice[note - kFirstVoiceNote];
        if (v < 0 || voiceGain[v] == 0.0f) return;
        if (v == kClosedHat) voices.openHat.choke();
        voices.voices[v]->thwack(velocity);
    }
}

void Brakka::midiStep(int note, int frame) {
    BrakkaSequencer* seq = currentSequencer;
    int step = 0;
    bool start = false;
    if (note == kStepBackNote) {
        step = seq->retreat();
        start = step == 0;
    } else if (note == kStepForwardNote) {
        step = seq->advance();
        start = step == 0;
    } else {
        seq->setCurrent96th(0);
        start = true;
    }
    if (start) step = patternStart(0, false, 0);
    fireStep(step, frame, (int)(voiceRate * 0.0625f), true);
    lastStep = step;
    if (editorInterface) editorInterface->setCurrentStep(step);
}

// --- MIDI output ------------------------------------------------------------------------------

void Brakka::sendMIDINote(int voice, float velocity, int deltaFrames, int noteLength) {
    if (voice < 0 || voice >= kNumVoices) return;
    // A note-on never carries velocity 0, which receivers read as a note-off.
    int velocityByte = velocity > 0.0f ? (int)(velocity * 127.0) : 0;
    velocityByte = velocityByte < 1 ? 1 : (velocityByte > 127 ? 127 : velocityByte);

    std::memset(&audioOnly.midiOutEvent, 0, sizeof(audioOnly.midiOutEvent));
    audioOnly.midiOutEvent.type = kVstMidiType;
    audioOnly.midiOutEvent.byteSize = sizeof(VstMidiEvent);
    audioOnly.midiOutEvent.deltaFrames = deltaFrames;
    audioOnly.midiOutEvent.flags = kVstMidiEventIsRealtime;
    audioOnly.midiOutEvent.noteLength = noteLength;
    audioOnly.midiOutEvent.noteOffset = 0;
    audioOnly.midiOutEvent.midiData[0] = (char)0x90;
    audioOnly.midiOutEvent.midiData[1] = (char)kMIDInote[voice];
    audioOnly.midiOutEvent.midiData[2] = (char)velocityByte;
    audioOnly.midiOutList.numEvents = 1;
    audioOnly.midiOutList.reserved = 0;
    audioOnly.midiOutList.events[0] = reinterpret_cast<VstEvent*>(&audioOnly.midiOutEvent);
    sendVstEventsToHost(&audioOnly.midiOutList);

    audioOnly.midiOutEvent.deltaFrames = deltaFrames + noteLength;
    audioOnly.midiOutEvent.midiData[0] = (char)0x80;
    audioOnly.midiOutEvent.midiData[2] = 64;
    sendVstEventsToHost(&audioOnly.midiOutList);
}
