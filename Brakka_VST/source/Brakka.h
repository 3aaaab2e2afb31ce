// Brakka: the engine object of one plug-in instance. It owns the programs and their patterns,
// the parameter table, the twelve drum voices, the mixer state, the output compressor, the
// pattern clipboard and the MIDI-learn state, renders audio, handles MIDI in and out and
// dispatches parameter changes.
//
// Threads. The host calls processEvents and processReplacing on its audio thread and the rest
// on other threads, at the same time. The engine state belongs to the holder of engineLock: the
// audio thread only tries it, once per block, and never waits. While blocks are processed
// (isProcessing), other threads hand their changes over lock-free (HandOver: values and tasks
// the audio thread applies within a small work budget per block, see runOnEngine) and read
// without the lock (readOptimistically); the audio thread's own calls that must not wait pass
// to the worker (FromAudioThread). AudioThreadOnly is the audio thread's alone. While idle,
// every call takes the lock itself.
#pragma once

#include "BrakkaEditorInterface.h"
#include "BrakkaLearnMap.h"
#include "BrakkaParameterManager.h"
#include "BrakkaParameterQueue.h"
#include "BrakkaProgram.h"
#include "BrakkaSequencer.h"
#include "BrakkaVoiceBank.h"
#include "audioeffectx.h"
#include "zusp_dynamics.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <semaphore.h>
#include <shared_mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

class Brakka : public AudioEffectX {
public:
    static constexpr int kNumOutputs = 2 * kNumOutputBuses;
    static constexpr int kVendorVersion = 1120;
    static constexpr int kAllRowsChanged = 652;
    static constexpr int kVelocityRowChanged = -1;
    // MIDI learn takes every tag up to the last per-voice family (not MIDI Output Only).
    static constexpr int kLearnTagLimit = kLastFamilyTag;
    // Lower rates are ignored: the voices' filters and oscillators need at least this.
    static constexpr float kMinSampleRate = 8000.0f;

    // Private host opcodes.
    static constexpr VstInt32 kOpcodeNaturalToVST = 12345;
    static constexpr VstInt32 kOpcodeVSTToNatural = 23456;
    static constexpr VstInt32 kOpcodeImportPatterns = 34567;

    enum SyncMode { kSyncHost = 0, kSyncInternal = 1, kSyncMIDINote = 2 };

    explicit Brakka(audioMasterCallback audioMaster);
    ~Brakka() override;

    // --- lifecycle ----------------------------------------------------------------------------
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 size) override;
    void suspend() override;
    void resume() override;
    float getTempo();

    // --- audio and MIDI -----------------------------------------------------------------------
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    VstInt32 processEvents(VstEvents* events) override;
    void midiController(char controller, char value);
    void handleSpecialClick(int tag);
    void sendMIDINote(int voice, float velocity, int deltaFrames, int noteLength);

    // --- parameters -----------------------------------------------------------------------------
    void setParameter(VstInt32 tag, float value) override;
    float getParameter(VstInt32 tag) override;
    void getParameterName(VstInt32 tag, char* text) override;
    void getParameterDisplay(VstInt32 tag, char* text) override;
    void getParameterLabel(VstInt32 tag, char* text) override;
    void getLongParameterName(int tag, char* text);
    std::string getFullParameterName(int tag);
    void setVoiceParameter(int tag, float value);
    void setVoiceAudibility(int voice);
    void updateSoloState(int tag, bool on);
    void setModSequenceValue(int tag, int step, float value);
    void registerModTag(int tag);
    void unregisterModTag(int tag);
    void unregisterAllModTags();
    void fillModValues(long tag, int shape);
    void resetSequencer();

    // --- patterns -------------------------------------------------------------------------------
    void setCurrentPatternDeferred(int pattern);
    // With sliced, the pattern's values are applied like the last part of a program load.
    void setCurrentPatternImmediate(int pattern, bool sliced = false);
    void updateParametersFromPattern();
    // The current pattern's values, applied like the last part of a program load (see
    // loadProgram); gives the load's number.
    uint32_t applyPatternValues();
    void pattern_clear(int unused);
    void pattern_copy(int unused);
    void pattern_paste();
    void getNoteRow(int voice, unsigned char row[kNumSteps]);
    void getVelocityRow(int voice, float row[kNumSteps]);
    void getModRow(int tag, float row[kNumSteps]);
    // Edits of the current pattern's rows (the editor's value rows).
    void setNote(int voice, int step, unsigned char value);
    void setVelocityValue(int voice, int step, float value);
    void fillVelocityValues(int voice, int shape);
    // The random-on-loop flags of the current pattern's velocity row of a voice and of the
    // modulation row of a tag (the editor's row-enable button).
    bool getVelocityRandomOnLoop(int voice);
    void setVelocityRandomOnLoop(int voice, bool on);
    bool getModRandomOnLoop(int tag);
    void setModRandomOnLoop(int tag, bool on);
    // Whether a tag may have a modulation row (every sound parameter and every pan).
    bool isModulatableTag(int tag) const { return parameters.isModulatableTag(tag); }
    int getCurrentPattern();
    int getPendingPattern();
    int getCurrentStep();

    // --- programs -------------------------------------------------------------------------------
    void setProgram(VstInt32 index) override;
    VstInt32 getProgram() override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    // Chunks: the preset chunk of the current program or the bank chunk of all 48. setChunk
    // checks the whole chunk against byteSize first; a damaged one changes nothing and gives 0.
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    // Size of program index's preset chunk (the flag has no effect).
    size_t getPresetChunkSize(int index, bool flag = false);
    // Writes program index's preset chunk (getPresetChunkSize bytes) to dst.
    void getPresetChunk(int index, void* dst);
    // Reads the preset chunk at data (at most length bytes) into program, which may be any
    // program record (the engine's lock is the caller's business when it is one of the
    // engine's). A damaged chunk leaves program unchanged and gives false. On success
    // *consumed (if given) receives the chunk's length.
    bool setPresetChunk(const void* data, size_t length, BrakkaProgram* program,
                        size_t* consumed = nullptr);
    // Length of the preset chunk at data if it is sound, else 0. Changes nothing.
    size_t validatePresetChunk(const void* data, size_t length) const;
    // Loads the factory bank from the plug-in's resources; without it nothing changes.
    void initPresets();

    // --- MIDI learn ---------------------------------------------------------------------------
    // A copy of the learnt bindings, in order (not for the audio thread).
    std::multimap<char, int> getMIDIMap();
    unsigned int getLearnState();
    int getLearnTag();
    // The controller last seen while armed, shared by every instance; 255 for none.
    static int getLastCtrl() { return lastCtrl.load(std::memory_order_relaxed); }

    // --- host frame -----------------------------------------------------------------------------
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    VstInt32 getNumMidiInputChannels() override;
    VstInt32 getNumMidiOutputChannels() override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstIntPtr vendorSpecific(VstInt32 opcode, VstIntPtr value, void* ptr, float opt) override;
    VstInt32 canDo(char* text) override;
    VstPlugCategory getPlugCategory() override;

    // The editor that receives the engine's notifications; null while none is open.
    void setEditorInterface(BrakkaEditorInterface* editorInterface);

    // Audio blocks rendered as silence because the engine lock was held by another thread when
    // the audio thread tried it.
    long getMissedBlockCount() const { return missedBlocks.load(std::memory_order_relaxed); }
    // Incoming events dropped because more than kMaxIncomingEvents came for one block.
    long getDroppedEventCount() const { return droppedEvents.load(std::memory_order_relaxed); }
    // True while the host is processing blocks: a processReplacing began within the last
    // kProcessingTimeoutMs milliseconds (or three block lengths, if longer) and no suspend
    // came since. Hosts that process without resuming first count as processing too.
    bool isProcessing() const;
    static constexpr int kProcessingTimeoutMs = 50;

private:
    // Runs the strike and render code once on scratch objects and reads the voices' strike data,
    // so that the first blocks find both in the cache (see resume).
    void warmUp();
    static constexpr int kWarmUpFrames = 64;

    // Takes the engine lock (waiting if needed; never used on the audio thread) and drains the
    // parameter changes queued while it was busy, on taking and on releasing it.
    class EngineLock {
    public:
        explicit EngineLock(Brakka& engine) : engine(engine) {
            engine.engineLock.lock();
            engine.enterLocked();
        }
        ~EngineLock() { engine.leaveLocked(); }
        EngineLock(const EngineLock&) = delete;
        EngineLock& operator=(const EngineLock&) = delete;

    private:
        Brakka& engine;
    };

    // Work of another thread on the engine's state. While blocks are being processed the audio
    // thread owns that state: the work is handed over as a task, which the audio thread runs
    // at the start of its next block within its own lock hold (so it never finds the lock
    // taken), and the caller waits for it. Otherwise (idle, on the audio thread, or already
    // holding the lock) the caller takes the lock and does the work itself. The work must not
    // allocate or free: it may run on the audio thread.
    template <class F>
    void runOnEngine(F&& work, bool beginsLoad = false) {
        using Work = std::remove_reference_t<F>;
        if (!handsOver()) {
            EngineLock lock(*this);
            work();
            return;
        }
        BrakkaEngineTask task;
        task.run = [](void* context) { (*static_cast<Work*>(context))(); };
        task.context = &work;
        task.parametersBefore = handOver.parameters.pushed();
        task.beginsLoad = beginsLoad;
        if (!handOver.tasks.push(&task)) {
            EngineLock lock(*this);
            work();
            return;
        }
        waitForTask(task);
    }
    // runOnEngine for work that begins a program load (see loadFitsBeforeTick).
    template <class F>
    void runLoadOnEngine(F&& work) {
        runOnEngine(work, true);
    }
    bool handsOver() const;
    // Waits until done() holds; should blocks stop coming (see waitForTask), takes the lock,
    // whose holder then does the work queued for the audio thread.
    template <class F>
    void waitUntil(F&& done);
    void waitForTask(BrakkaEngineTask& task);
    void drainTasks();

    static bool isValidTag(long tag) { return tag >= 0 && tag < kNumParameters; }
    // A host's text query about tag, answered by answer() from the display table under its
    // lock; a bad tag gets empty text.
    template <class F>
    void answerFromDisplayTable(long tag, char* text, F&& answer) {
        if (!text) return;
        if (!isValidTag(tag)) {
            text[0] = 0;
            return;
        }
        std::lock_guard<std::mutex> lock(displayMutex);
        answer();
    }
    float natural(long tag) { return parameters.getNaturalValue(tag); }
    float dsp(long tag) { return parameters.getDSPValue(tag); }
    BrakkaProgram& currentProgram() { return *programs[clampProgram(curProgram)]; }
    static int clampProgram(long index);
    static int clampPattern(long index);

    // Selects a program and applies its values: all of them at once, or on the audio thread as
    // many as the block's work budget allows, the rest at the start of the following blocks
    // (a program's 263 values cost some hundred microseconds). Gives the load's number;
    // waitForProgramLoad returns once that load (or a later one) is complete.
    uint32_t loadProgram(int index);
    void continueProgramLoad();
    void stepProgramLoad();
    // The tag a load applies n-th (0 <= n < kNumParameters).
    static int loadOrderTag(int n);
    static constexpr int kClockTags = kSyncTag - kPlayTag + 1;
    static constexpr int kFirstClockPosition = kNumParameters - kClockTags;
    void finishProgramLoad();
    void waitForProgramLoad(uint32_t ticket);
    // Whether the audio thread has used up the work budget of its block: at most 1 % of the
    // block's length (2 us at least) goes to work handed over by other threads (a host's
    // parameter storm of 8 changes a millisecond takes about that much).
    bool pastDeadline() const;
    int64_t workBudgetNanos() const;
    static int64_t steadyNanos(); // steady clock
    // Whether a program load begun now would be complete before the sequencer's next tick,
    // which plays the whole program: the load's values spread over the blocks before it. A
    // task that begins a load waits in the queue until then (at most until a tick has passed:
    // the following one is then a whole tick away). framesToNextTick is -1 when no clock runs.
    bool loadFitsBeforeTick();
    double framesToNextTick() const;
    // Preset chunk of a program record: its length, and the chunk written to dst.
    size_t presetChunkSize(const BrakkaProgram& program) const;
    static void writePresetChunk(const BrakkaProgram& program, void* dst);
    // Copies a program into another whose pattern-value maps hold the same tags (allocates
    // nothing, so the audio thread can do it).
    static void copyProgram(BrakkaProgram& to, const BrakkaProgram& from);

    // Lock hand-over.
    bool tryEnter(bool audioThread);
    // Notes that the calling thread is the host's audio thread and, when frames > 0, that a
    // block of that many frames begins.
    void markAudioThread(int frames);
    bool onAudioThread() const;
    // On the audio thread of a host that does not call it a user, prefetch or offline thread:
    // a call here must neither wait nor allocate.
    bool onRealtimeThread();
    static bool isRealtimeLevel(VstInt32 level);
    // Whether the host processes in real time (asked at each block): only then is the work
    // handed to the audio thread spread over blocks, so that offline renders stay exact.
    bool realtimeBlocks = true;
    // How long after a block's start the host still counts as processing: kProcessingTimeoutMs,
    // or three block lengths if longer.
    int64_t processingWindowNanos() const;
    void enterLocked();
    void leaveLocked();
    void drainPendingParameters();
    VstIntPtr importPatterns(void* ptr);
    // The engine's own parameter changes (program loads, pattern values, MIDI learn): like
    // setParameter, made while holding the lock.
    void setParameterInternal(int tag, float value);
    // Stores, dispatches and tells the editor; the mirror is the caller's business.
    void applyParameter(int tag, float value);
    // Puts a value into the parameter table.
    void storeInTable(int tag, float value);
    // Acts on a stored value: every tag range is told apart here, once.
    void dispatchParameter(int tag, float value);
    // A sound parameter's DSP value to its voice (the voice bank's routing).
    void setSoundParameter(int tag, float v);
    // A per-voice family tag (118..261). stored: v is the value just stored in the table
    // (dispatchParameter), and each family reads the form it acts on (DSP, natural or
    // normalized value); otherwise v is already in that form (setVoiceParameter).
    void applyFamilyParameter(int tag, float v, bool stored);
    // setParameterAutomated for the engine's own changes; the host is told after the audio
    // block when the change happens on the audio thread.
    void automateParameter(int tag, float value);
    // The host's part of it: at once, after the lock is released, or after the audio block.
    void tellHost(int tag, float value);
    void flushAutomationOutbox();
    void syncMirror(int tag);
    // The mirror packs a value with the serial number of the host's last write of the tag.
    // Host writes count the serial up; the engine's own writes keep it; a queued host write,
    // when applied, re-stores its value only if no newer host write came since. So the mirror
    // always ends equal to the table, and a host reads back its own latest value.
    static uint64_t packMirror(uint32_t serial, float value);
    static float mirrorValueOf(uint64_t packed);
    static uint32_t mirrorSerialOf(uint64_t packed) { return (uint32_t)(packed >> 32); }
    uint32_t storeHostValue(int tag, float value);
    void storeEngineValue(int tag, float value);
    void restoreQueuedValue(int tag, uint32_t serial, float value);

    // Render loop pieces. A block is rendered in segments between the sample offsets of the
    // incoming events: the events due at a sample act first, then the clock and the mix run up
    // to the next event (see renderBlock).
    struct IncomingEvent {
        int delta; // sample offset in the block, clamped into it when the block is rendered
        unsigned char status, data1, data2;
    };
    // Clock values of a segment, taken from the parameters when it begins: an event may have
    // changed them (a learnt controller, a pattern switch).
    struct SegmentClock {
        double increment; // quarter notes per sample
        float swing;
        float outputAGain;
        int noteLength;
    };
    void renderBlock(float** outputs, int frames);
    SegmentClock beginSegment();
    void renderSegment(float** outputs, int from, int to, const SegmentClock& clock);
    // The clock has reached a tick other than lastTick (or a start is pending) at frame: a new
    // step fires the pattern's notes, any other tick may play random notes. Returns the step.
    int clockTick(int tick, int frame, int noteLength, int step);
    // The voices, the mixer and the compressor for samples from .. to - 1, in blocks.
    void mixBlock(float** outputs, int from, int to, float outputAGain);
    // The frames the clock has passed when it ticks are mixed only once the tick changes
    // something the mix depends on (a strike, a value): a tick that plays nothing does not
    // split the block's mix. mixPending mixes them; every such change calls it first.
    struct PendingMix {
        float** outputs = nullptr; // null for none
        int from = 0, to = 0;
        float outputAGain = 0.0f;
    };
    PendingMix pendingMix;
    void mixPending();
    // A tick's strikes and the host's notes wait in the struck voice's queue (in the order of
    // their frames), with the step's modulation of the voice's sound tags and the open hat's
    // choke, and act at their frame while the mix renders that voice: they split the block of
    // the voices they strike only, not the whole mix. Every event is due within the segment it
    // was queued in; mixPending, which comes before any other change, acts on those due at its
    // frame first.
    enum VoiceEventKind { kStrikeEvent, kChokeEvent, kNoteEvent, kNoteChokeEvent };
    struct VoiceEvent {
        int frame;
        int kind; // a note, and its choke, act only if the voice is audible then
        float velocity;
        int firstMod, mods; // in voiceEventMods
    };
    struct VoiceEventQueue {
        static constexpr int kSize = 16;
        VoiceEvent events[kSize];
        int count = 0, next = 0;
    };
    struct VoiceEventMod {
        int tag;
        float value;
    };
    static constexpr int kVoiceEventMods = 512;
    VoiceEventQueue voiceEvents[kNumVoices];
    VoiceEventMod voiceEventMods[kVoiceEventMods];
    int voiceEventModCount = 0, voiceEventsQueued = 0;
    // Queues voice's strike at the pending mix's frame; false when the strike must act at once
    // (nothing pending, no room, or a modulated tag that changes the mix itself).
    bool queueStrike(int voice, int step, float velocity, bool modulate);
    // The host's voice notes of the block go to the queues, unless another event acts at
    // their frame (its order with the note counts) or a queue is full.
    void queueIncomingNotes();
    static void pushVoiceEvent(VoiceEventQueue& queue, const VoiceEvent& event);
    void applyVoiceEvent(int voice, const VoiceEvent& event);
    void applyVoiceEventsDue(int voice, int before);
    void applyIncomingEvent(const IncomingEvent& event, int frame);
    void sortIncomingEvents(int frames);
    void fireStep(int step, int deltaFrames, int noteLength, bool fromMIDIStep);
    void fireRandomNotes(int deltaFrames, int noteLength);
    int patternStart(unsigned tick, bool fromClock, int step);
    // Makes the queued pattern p current at its start while playing.
    void switchPatternAtStart(int p);
    // In the block before the clock plays a step: reads what the step (and a pattern switch at
    // the pattern's start) reads, so that the step's block does not wait for memory that other
    // work pushed out of the caches meanwhile (a program load, a bank save on another core).
    void warmNextStep(int frames);
    void applyStepModulation(int voice, int step);
    void strike(int voice, float velocity);
    void midiStep(int note, int frame);
    // What a pattern's values set in its sequencer: probabilities, sizes, step and length.
    struct SequencerSettings {
        int selectedBeats[kNumVoices];
        int randomBeats[kNumVoices];
        int randomSize[kNumVoices];
        float randomVelocity[kNumVoices];
        int stepTicks;
        int length;
    };
    // A queued pattern's settings, worked out over the blocks after the switch was queued from
    // a copy of the values the pattern brings, which is checked at the pattern's start.
    struct PreparedSwitch {
        static constexpr int kMaxValues = 64;
        static constexpr int kParts = kNumVoices + 1; // each voice's, then the step size's
        const BrakkaProgram* program = nullptr;
        int pattern = -1; // none
        int parts = 0;    // worked out so far; -1: cannot be prepared
        int count = 0;
        BrakkaPatternValues::Entry values[kMaxValues];
        SequencerSettings settings;
        bool ready() const { return parts == kParts; }
    };
    // Part of the settings (see PreparedSwitch) from dsp, vst and natural, functions of a tag
    // that give its values as the table would.
    template <class Dsp, class Vst, class Natural>
    static void sequencerSettingsPart(SequencerSettings& s, int part, Dsp&& dsp, Vst&& vst,
                                      Natural&& natural);
    static void applySequencerSettings(BrakkaSequencer& sequencer, const SequencerSettings& s);
    // Sets the sequencer from the table's values.
    void applyPatternToSequencer(BrakkaSequencer& sequencer);
    // Step length and sequence length of sequencer from the table's Step Size.
    void applyStepSize(BrakkaSequencer& sequencer);
    // On the audio thread, after a block: a share of the queued pattern's settings.
    void preparePatternSwitch();
    // Sends the current pattern's note rows to the editor; notifyAllRows adds the value rows.
    void notifyNoteRows();
    void notifyAllRows();
    // Normalized value as a program may hold it: within 0..1, NaN replaced by the default.
    float sanitizedValue(int tag, float value) const;

    // MIDI learn: the assignments file is written by a thread of the engine's own, never by
    // the audio thread. Learning (audio thread) raises midiMapSaveWanted; the saver polls it.
    void startMIDIMapSaver();
    void stopMIDIMapSaver();
    void midiMapSaverLoop();
    void requestMIDIMapSave(bool wake);
    void saveMIDIMapNow();
    void copyMIDIMap(BrakkaLearnMap& to);

    std::unique_ptr<BrakkaProgram> programs[kNumPrograms];
    BrakkaLearnMap midiMap;
    // Written by the engine lock's holder, read by anyone.
    std::atomic<unsigned int> learnState{0};
    std::atomic<int> learnTag{0};
    static std::atomic<int> lastCtrl;
    BrakkaParameterManager parameters;
    char* chunkBuffer = nullptr;
    BrakkaVoiceBank voices;
    float panGainLeft[kNumVoices] = {};
    float panGainRight[kNumVoices] = {};
    float voiceGain[kNumVoices] = {};
    int outputBus[kNumVoices] = {};
    zusp_compressor compressor;
    BrakkaSequencer* currentSequencer = nullptr;
    int currentPattern = 0;
    int pendingPattern = 0;
    PreparedSwitch preparedSwitch;
    BrakkaSequencer clipboardSequencer;
    float clipboardValues[kNumParameters] = {}; // the copied pattern's values, by tag
    int lastStep = -1;
    int lastTick = 33;
    int soloTag = 0;
    // Tags whose voices or mixer may not act on the table's value: every tag until its value
    // is first dispatched, and the tags a step's modulation moved (applyStepModulation) until
    // the table's value is dispatched again.
    bool notDispatched[kNumParameters];
    // Whether a program load must apply a stored value: one equal to the table's changes
    // nothing unless a step's modulation holds the voice elsewhere, or its dispatch acts on
    // more than its own value (Play starts the transport, a Solo clears the other solos).
    bool loadChanges(int tag, float value);
    bool isResumed = false;
    bool transportPlaying = false;
    bool midiOutputOnly = false;
    double songPosition = 0.0;
    BrakkaEditorInterface* editorInterface = nullptr;

    // This instance's sampling rate: its voices, its compressor and its clock run at it (they
    // all start at 44100, as the DSP blocks do).
    float voiceRate = 44100.0f;
    // The next evaluated tick fires its step even when the pattern already sits on it.
    bool startPending = false;
    // Host sync: whether the host played in the last block and where that block ended.
    bool hostWasPlaying = false;
    double hostExpectedPosition = 0.0;

    std::recursive_mutex engineLock;
    std::atomic<std::thread::id> audioThreadId{std::thread::id()};
    std::atomic<int64_t> lastBlockStart{0};  // steady clock, nanoseconds; 0 for none yet
    std::atomic<int64_t> lastBlockSpan{0};   // duration of the last block, nanoseconds
    std::atomic<float> timingRate{44100.0f}; // the sample rate, for block durations
    std::atomic<long> missedBlocks{0};
    std::atomic<std::thread::id> lockOwner{std::thread::id()}; // outermost holder
    std::atomic<long> blocksEnded{0}; // blocks the audio thread has finished, rendered or not
    std::atomic<long> droppedEvents{0};
    std::atomic<int> programIndex{0};
    std::atomic<double> hostTempo{
        0.0}; // last tempo the host reported (Host sync); getTempo shows it
    // Names, labels, display strings and conversions for the host's queries, away from the
    // engine lock. Only values are ever set in it, under displayMutex.
    BrakkaParameterManager displayTable;
    std::mutex displayMutex;
    // The copied pattern lives beside the engine state: copy and paste take this lock for it
    // and the engine lock only for the current pattern.
    std::mutex clipboardMutex;
    bool flushingOutbox = false;
    // True while setProgram applies a program's stored values.
    bool loadingProgram = false;
    struct AutomationEntry {
        int tag;
        float value;
    };
    // From any thread to the engine lock's holder, lock-free (see setParameter, runOnEngine).
    struct HandOver {
        BrakkaParameterQueue parameters; // host values, applied at the next block's start
        BrakkaTaskQueue tasks;           // work of runOnEngine
        // Every tag's latest value (see packMirror), and the values a full queue left there.
        std::atomic<uint64_t> mirror[kNumParameters];
        std::atomic<bool> overflowTags[kNumParameters];
        std::atomic<bool> overflowPending{false};
    };
    HandOver handOver;
    // Touched by the audio thread only: the events of processEvents (kept for the
    // processReplacing that follows), the host's time for the block, the MIDI output prepared
    // in advance (a one-slot event list and its event) and the engine's own automations, sent
    // to the host after the block.
    struct AudioThreadOnly {
        static constexpr int kMaxIncomingEvents = 1024;
        IncomingEvent incomingEvents[kMaxIncomingEvents];
        int incomingEventCount = 0;
        bool hostTimeValid = false;
        double hostBeatUnit = 4.0;
        double hostBlockTempo = 0.0;
        VstEvents midiOutList;
        VstMidiEvent midiOutEvent;
        static constexpr int kAutomationOutboxSize = 512;
        AutomationEntry automationOutbox[kAutomationOutboxSize];
        int automationOutboxCount = 0;
    };
    AudioThreadOnly audioOnly;
    // Never taken by the audio thread: shared by savers and queries, which read program
    // records without the engine lock, exclusive for the operations that replace records
    // (chunk loads, import), so that a record is never freed under a reader.
    std::shared_mutex programsMutex;
    // One save at a time: the copy of the program being written and the answer are shared.
    std::mutex saveMutex;
    BrakkaProgram currentCopy;
    // Optimistic reads of the engine state. stateWrites is odd while a thread holds the engine
    // lock (the audio thread during its blocks), programSwitches while the current program
    // changes: a reader copies without any lock and keeps the copy only if neither moved.
    std::atomic<uint32_t> stateWrites{0};
    std::atomic<uint32_t> programSwitches{0};
    template <class F>
    void readOptimistically(F&& copy, bool currentProgramToo);
    // Queries: an optimistic read of the engine state (see readOptimistically).
    template <class F>
    bool readEngineState(F&& read);

    // Chunk loads and program changes a host makes on its audio thread (see setChunk): the
    // chunk is copied into a staging area and the engine's worker thread decodes and hands it
    // over like a load from any other thread. Calls the audio thread makes while such a load
    // is waiting queue behind it, so they act in the order the host made them.
    struct DeferredOp {
        enum Kind { kChunk, kProgram, kParameter } kind;
        int index; // staging slot, program, or tag
        float value;
    };
    static constexpr int kDeferredOps = 256; // a power of two
    static constexpr int kStagingSlots = 2;
    struct StagingSlot {
        char* bytes = nullptr; // kStagingBytes of address space, used on demand
        size_t length = 0;     // of the chunk waiting in it
        bool isPreset = false;
        std::atomic<bool> busy{false}; // set by the audio thread, cleared by the worker
    };
    static const size_t kStagingBytes;
    // Filled by the audio thread, emptied by the worker.
    struct FromAudioThread {
        StagingSlot staging[kStagingSlots];
        DeferredOp ops[kDeferredOps];
        std::atomic<unsigned> head{0}; // written by the audio thread
        std::atomic<unsigned> tail{0}; // written by the worker
        std::atomic<int> pending{0};   // queued and not yet finished by the worker
        // A program change that found the lock taken: applied at the next block's start (-1
        // for none).
        std::atomic<int> programAtNextBlock{-1};
    };
    FromAudioThread fromAudioThread;
    bool deferFromAudioThread(const DeferredOp& op);
    bool stageChunk(const char* bytes, size_t length, bool isPreset);
    void runDeferredOps();
    void waitForDeferredOps();
    void reserveStaging();
    void releaseStaging();
    void applyProgramAtBlockStart();
    int lockDepth = 0;
    bool inAudioBlock = false;
    // A program load in progress: the next value to apply, -1 for none (positions below
    // kNumParameters are the program's values in the order of loadOrderTag, the clock's last;
    // from kNumParameters on the current pattern's values); the load's number; loads begun and
    // completed.
    int loadNextValue = -1;
    // A program load applies the clock's values after the pattern's (a new tempo or swing moves
    // the clock onto a tick, which completes the load at once): the position they resume at
    // once the pattern's values are in, -1 when none are owed.
    int loadClockNext = -1;
    // The load is a pattern switch's: its values are in place, others are still to be told.
    bool loadOnlyTells = false;
    uint32_t loadTicket = 0;
    std::atomic<uint32_t> loadsBegun{0};
    std::atomic<uint32_t> loadsDone{0};
    int64_t workDeadline = 0; // steady clock, nanoseconds; 0 for no limit
    // The clock of the last segment (quarter notes per sample, swing) and the ticks counted,
    // for loadFitsBeforeTick; the audio thread's own.
    double clockIncrement = 0.0;
    float clockSwing = 1.0f;
    uint32_t ticksCounted = 0;
    // A load-beginning task waiting for room before a tick (its number in the task queue)
    // and the tick count when it began to wait; what the last load took on the audio thread.
    size_t waitingTask = (size_t)-1;
    uint32_t waitSinceTick = 0;
    int64_t loadCostNanos = 0;
    int64_t lastLoadCostNanos = 150000;
    // The same for the other threads' lock holds (only touched under the lock).
    std::vector<AutomationEntry> hostOutbox;

    // Every parameter's default normalized value, for values a chunk holds as NaN.
    float defaultValues[kNumParameters];

    // The assignments file saver.
    std::atomic<bool> midiMapSaveWanted{false};
    std::thread midiMapSaver;
    // Wakes the saver, which also runs the audio thread's deferred operations; sem_post never
    // waits, so the audio thread may post too.
    sem_t workerWake;
    std::atomic<bool> midiMapSaverStop{false};
};

// ThreadSanitizer is told that an optimistic reader's reads may race: a copy that raced is
// thrown away (see readOptimistically).
#if defined(__SANITIZE_THREAD__)
#define BRAKKA_TSAN_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BRAKKA_TSAN_ANNOTATIONS 1
#endif
#endif
#ifdef BRAKKA_TSAN_ANNOTATIONS
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
#endif

class BrakkaRacyReads {
public:
#ifdef BRAKKA_TSAN_ANNOTATIONS
    BrakkaRacyReads() {
        AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
    }
    ~BrakkaRacyReads() {
        AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
    }
#else
    BrakkaRacyReads() {}
    ~BrakkaRacyReads() {}
#endif
    BrakkaRacyReads(const BrakkaRacyReads&) = delete;
    BrakkaRacyReads& operator=(const BrakkaRacyReads&) = delete;
};

// Runs copy until it ran while no thread held the engine lock (only while no program change
// happened, when currentProgramToo is false). For readers that do not hold the lock; copy
// must only read engine state (its reads may race and are then repeated) and write its own.
template <class F>
void Brakka::readOptimistically(F&& copy, bool currentProgramToo) {
    for (int attempt = 0;; ++attempt) {
        const uint32_t switches = programSwitches.load(std::memory_order_acquire);
        const uint32_t writes = stateWrites.load(std::memory_order_acquire);
        if (!(switches & 1) && !(currentProgramToo && (writes & 1))) {
            {
                BrakkaRacyReads racy;
                copy();
            }
#ifdef BRAKKA_TSAN_ANNOTATIONS
            // The sanitizer ignores the copy's reads and has no model of fences; on x86 a compiler
            // barrier keeps the copy's loads before the check's.
            std::atomic_signal_fence(std::memory_order_acquire);
#else
            std::atomic_thread_fence(std::memory_order_acquire);
#endif
            if (programSwitches.load(std::memory_order_relaxed) == switches &&
                (!currentProgramToo || stateWrites.load(std::memory_order_relaxed) == writes))
                return;
        }
        // A block or another thread's hold is under way: it ends within microseconds.
        if (attempt < 8)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

template <class F>
bool Brakka::readEngineState(F&& read) {
    // Under the caller's own hold, the lock (nobody else writes meanwhile).
    if (lockOwner.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        EngineLock lock(*this);
        read();
        return true;
    }
    // The audio thread may not wait: it reads under the engine lock if that is free (no record
    // is replaced or changed meanwhile) and gives up otherwise.
    if (onAudioThread()) {
        if (!engineLock.try_lock()) return false;
        read();
        engineLock.unlock();
        return true;
    }
    // Program records are swapped within a block's time.
    while (!programsMutex.try_lock_shared())
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    readOptimistically(read, true);
    programsMutex.unlock_shared();
    return true;
}

template <class F>
void Brakka::waitUntil(F&& done) {
    // Blocks normally come every block length. Some hosts hold their audio thread back while
    // they call the dispatcher: when no block has ended for four block lengths and 5 ms, or
    // blocks have stopped, the lock is taken here and whoever holds it does the queued work,
    // ours too.
    long seen = blocksEnded.load(std::memory_order_acquire);
    auto since = std::chrono::steady_clock::now();
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        const long ended = blocksEnded.load(std::memory_order_acquire);
        if (ended != seen) {
            seen = ended;
            since = now;
        }
        const auto patience =
            std::chrono::nanoseconds(4 * lastBlockSpan.load(std::memory_order_relaxed) + 5000000);
        if (!isProcessing() || now - since > patience) {
            EngineLock lock(*this);
            continue;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

// Builds one engine for the host.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
