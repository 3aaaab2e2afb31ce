// Construction, lifecycle, host frame, parameter dispatch and the thread hand-over of the
// engine. The render loop and MIDI live in BrakkaRender.cpp, patterns and programs in
// BrakkaPatterns.cpp.
#include "Brakka.h"

#include "BrakkaEditor.h"
#include "BrakkaRandom.h"
#include "MIDIMapFile.h"
#include "zusp_math.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const char kEffectName[] = "Brakka";
const char kVendorName[] = "Zunder Works, Inc.";
const char* const kCanDoYes[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstMidiEvent",
                                 "receiveVstTimeInfo"};

} // namespace

int64_t Brakka::steadyNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new Brakka(audioMaster);
}

BrakkaProgram::BrakkaProgram() {
    std::memset(name, 0, sizeof(name));
    std::strcpy(name, "init");
    for (float& v : values)
        v = 0.0f;
}

Brakka::Brakka(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParameters) {
    for (auto& m : handOver.mirror)
        m.store(0, std::memory_order_relaxed);
    for (auto& o : handOver.overflowTags)
        o.store(false, std::memory_order_relaxed);
    for (bool& d : notDispatched)
        d = true;
    std::memset(&audioOnly.midiOutList, 0, sizeof(audioOnly.midiOutList));
    std::memset(&audioOnly.midiOutEvent, 0, sizeof(audioOnly.midiOutEvent));
    // The sequencer's random numbers come from a generator that takes no lock.
    brakkaInstallRandomSource();

    auto lock = std::make_unique<EngineLock>(*this);
    reserveStaging();

    for (int tag = 0; tag < kNumParameters; ++tag)
        defaultValues[tag] = parameters.getVSTvalue(tag);
    // Programs start at the parameters' defaults, each pattern with its own pattern values,
    // until the factory bank replaces them.
    for (auto& program : programs) {
        program = std::make_unique<BrakkaProgram>();
        for (int tag = 0; tag < kNumParameters; ++tag)
            program->values[tag] = parameters.getVSTvalue(tag);
        for (int p = 0; p < kNumPatterns; ++p) {
            for (unsigned int tag : parameters.getPatternTags())
                program->patternValues[p][tag] = parameters.getVSTvalue(tag);
            applyPatternToSequencer(program->patterns[p]);
        }
    }
    applyPatternToSequencer(clipboardSequencer);
    for (auto& values : currentCopy.patternValues)
        for (unsigned int tag : parameters.getPatternTags())
            values[tag] = 0.0f;

    setNumInputs(0);
    setNumOutputs(kNumOutputs);
    canProcessReplacing(true);
    programsAreChunks(true);
    isSynth(true);
    setUniqueID(vstFourCC('Z', 'U', 'b', 'k'));

    compressor.setInputGain(0.0f);
    compressor.setThreshold(0.0f);
    compressor.setAttack(0.0005f);
    compressor.setRelease(0.05f);
    compressor.setRatio(1000.0f);
    compressor.setOutputGain(0.0f);

    for (int tag = 0; tag < kNumParameters; ++tag)
        syncMirror(tag);

    // The editor lives as long as the engine (only its window comes and goes), so the
    // interface the engine calls is always valid; it ignores the calls while closed.
    BrakkaEditor* editorObject = new BrakkaEditor(this);
    setEditor(editorObject);
    setEditorInterface(editorObject);

    // Loading the bank takes programsMutex, which is never taken under the engine lock.
    lock.reset();
    initPresets();
    EngineLock relock(*this);
    setProgram(0);

    for (unsigned int tag : parameters.getPatternTags())
        clipboardValues[tag] = parameters.getVSTvalue(tag);
    currentSequencer->setCurrent96th(33);

    std::multimap<char, int> bindings;
    LoadMIDIMap(kMIDIMapFilename, bindings);
    midiMap.assign(bindings);
    startMIDIMapSaver();

    transportPlaying = false;
    midiOutputOnly = false;
    songPosition = 0.0;
    soloTag = 0;
}

Brakka::~Brakka() {
    // The editor goes first, while the engine it shows is still whole.
    if (AEffEditor* e = getEditor()) {
        if (e->isOpen()) e->close();
    }
    setEditorInterface(nullptr);
    setEditor(nullptr);
    // The saver uses the engine's lock and table: it ends first, saving what is still due.
    stopMIDIMapSaver();
    releaseStaging();
    delete[] chunkBuffer;
    chunkBuffer = nullptr;
}

int Brakka::clampProgram(long index) {
    return index < 0 ? 0 : (index >= kNumPrograms ? kNumPrograms - 1 : (int)index);
}

int Brakka::clampPattern(long index) {
    return index < 0 ? 0 : (index >= kNumPatterns ? kNumPatterns - 1 : (int)index);
}

// --- lifecycle --------------------------------------------------------------------------------

void Brakka::setSampleRate(float rate) {
    // Each instance runs entirely at its own rate: its voices, compressor and clock take it from
    // here. The DSP library's process-wide rate globals are neither read nor written: other
    // instances, on other threads, may run at other rates.
    if (!(rate >= kMinSampleRate) || !std::isfinite(rate)) return;
    EngineLock lock(*this);
    AudioEffectX::setSampleRate(rate);
    timingRate.store(rate, std::memory_order_relaxed);
    if (rate == voiceRate) return;
    voices.setAudioSamplingRate(rate);
    compressor.setAudioSamplingRate(rate);
    voiceRate = rate;
}

void Brakka::setBlockSize(VstInt32 size) {
    EngineLock lock(*this);
    AudioEffectX::setBlockSize(size);
}

void Brakka::suspend() {
    // No block is expected any more: from now on changes apply at once.
    lastBlockStart.store(0, std::memory_order_release);
    EngineLock lock(*this);
    isResumed = false;
    compressor.clear();
    for (brakka_voice* voice : voices.voices)
        voice->clear();
}

void Brakka::resume() {
    {
        EngineLock lock(*this);
        isResumed = true;
        // The envelopes' curved shapes for the sounds as they stand, worked out here rather than
        // on the audio thread by the first strikes. Hosts resume before they process; should
        // blocks already come in, the strikes work them out as they go.
        if (!isProcessing())
            for (brakka_voice* voice : voices.voices)
                voice->prepareShapes();
    }
    // The first blocks read the voices' tables at once, all over: fetch them ahead.
    zusp_oscillator_wavetable::warmSharedTables();
    warmUp();
    AudioEffectX::resume();
}

// A fresh instance's first strikes would otherwise run code and read data that making the
// instance (the factory bank alone passes megabytes through the caches) pushed out: a block
// with all twelve voices struck cost 2.5-3.4 times the mean block at 64 frames. Here,
// on the thread that resumes, scratch voices set like the real ones are struck and rendered
// (their code, and its pages on first use), a scratch compressor runs a block, and the real
// voices' strike data is read. The real state is not touched, so nothing sounds different.
// Not on the audio thread (some hosts resume there), nor while blocks come: there the caches
// hold what the blocks use.
void Brakka::warmUp() {
    if (onAudioThread() || isProcessing()) return;
    std::unique_ptr<BrakkaVoiceBank> scratch(new (std::nothrow) BrakkaVoiceBank);
    std::unique_ptr<zusp_compressor> dynamics(new (std::nothrow) zusp_compressor);
    unsigned sum = 0;
    {
        EngineLock lock(*this);
        if (scratch) {
            scratch->setAudioSamplingRate(voiceRate);
            for (int tag = 0; tag <= kLastSoundTag; ++tag)
                scratch->setVoiceParameter(tag, dsp(tag));
        }
        if (dynamics) {
            dynamics->setAudioSamplingRate(voiceRate);
            dynamics->setThreshold(-30.0f);
        }
        sum += zusp_math::touchLines(&voices, sizeof voices);
        for (const brakka_voice* voice : voices.voices)
            sum += voice->touchStrikeData();
    }
    float left[kWarmUpFrames] = {}, right[kWarmUpFrames] = {};
    if (scratch)
        for (brakka_voice* voice : scratch->voices) {
            voice->thwack(1.0f);
            voice->process(left, kWarmUpFrames);
        }
    if (dynamics) dynamics->processStereo(left, left, left, right, kWarmUpFrames, 1.0f);
    volatile float sink = (float)sum + right[0];
    (void)sink;
}

float Brakka::getTempo() {
    // Polled by the editor: answered without the engine lock, from the values the host wrote
    // last (a change may still wait in the queue) and the audio thread's copy of the host
    // tempo.
    std::lock_guard<std::mutex> lock(displayMutex);
    if ((int)displayTable.naturalValueFromVSTvalue(kSyncTag, getParameter(kSyncTag)) ==
        kSyncInternal)
        return displayTable.naturalValueFromVSTvalue(kTempoTag, getParameter(kTempoTag));
    return (float)hostTempo.load(std::memory_order_relaxed);
}

void Brakka::setEditorInterface(BrakkaEditorInterface* e) {
    EngineLock lock(*this);
    editorInterface = e;
}

// --- thread hand-over -------------------------------------------------------------------------

uint64_t Brakka::packMirror(uint32_t serial, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return ((uint64_t)serial << 32) | bits;
}

float Brakka::mirrorValueOf(uint64_t packed) {
    uint32_t bits = (uint32_t)packed;
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

uint32_t Brakka::storeHostValue(int tag, float value) {
    std::atomic<uint64_t>& m = handOver.mirror[tag];
    uint64_t old = m.load(std::memory_order_relaxed);
    uint32_t serial;
    do {
        serial = mirrorSerialOf(old) + 1;
    } while (!m.compare_exchange_weak(old, packMirror(serial, value), std::memory_order_acq_rel));
    return serial;
}

void Brakka::storeEngineValue(int tag, float value) {
    std::atomic<uint64_t>& m = handOver.mirror[tag];
    uint64_t old = m.load(std::memory_order_relaxed);
    while (!m.compare_exchange_weak(old, packMirror(mirrorSerialOf(old), value),
                                    std::memory_order_acq_rel)) {
    }
}

void Brakka::restoreQueuedValue(int tag, uint32_t serial, float value) {
    std::atomic<uint64_t>& m = handOver.mirror[tag];
    uint64_t old = m.load(std::memory_order_relaxed);
    while (mirrorSerialOf(old) == serial &&
           !m.compare_exchange_weak(old, packMirror(serial, value), std::memory_order_acq_rel)) {
    }
}

void Brakka::syncMirror(int tag) {
    storeEngineValue(tag, parameters.getVSTvalue(tag));
}

void Brakka::markAudioThread(int frames) {
    audioThreadId.store(std::this_thread::get_id(), std::memory_order_relaxed);
    if (frames <= 0) return;
    const double rate = (double)timingRate.load(std::memory_order_relaxed);
    lastBlockSpan.store((int64_t)(frames / rate * 1e9), std::memory_order_relaxed);
    lastBlockStart.store(steadyNanos(), std::memory_order_release);
}

bool Brakka::onAudioThread() const {
    return audioThreadId.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

int64_t Brakka::workBudgetNanos() const {
    const int64_t share = lastBlockSpan.load(std::memory_order_relaxed) / 100;
    return share > 2000 ? share : 2000;
}

bool Brakka::pastDeadline() const {
    return workDeadline != 0 && steadyNanos() > workDeadline;
}

bool Brakka::loadFitsBeforeTick() {
    const double frames = framesToNextTick();
    if (frames < 0.0 || !realtimeBlocks) return true;
    // A tick has passed while the load waited: the next one is as far away as it gets.
    const size_t task = handOver.tasks.popped();
    if (waitingTask == task && ticksCounted != waitSinceTick) return true;
    // The blocks the last load took at this budget, one more for where this block stands.
    const int64_t span = lastBlockSpan.load(std::memory_order_relaxed);
    const int64_t blocks = lastLoadCostNanos / workBudgetNanos() + 2;
    if (frames / (double)voiceRate * 1e9 >= (double)(blocks * span)) return true;
    if (waitingTask != task) {
        waitingTask = task;
        waitSinceTick = ticksCounted;
    }
    return false;
}

bool Brakka::isRealtimeLevel(VstInt32 level) {
    // The host's word for the thread (0 when it does not say): offline renderers and hosts
    // that process on their user thread get the work done at once.
    enum { kLevelUser = 1, kLevelPrefetch = 3, kLevelOffline = 4 };
    return level != kLevelUser && level != kLevelPrefetch && level != kLevelOffline;
}

bool Brakka::onRealtimeThread() {
    return onAudioThread() && isRealtimeLevel(getCurrentProcessLevel());
}

int64_t Brakka::processingWindowNanos() const {
    // Large blocks come seldom: wait for three of them before calling the host idle.
    const int64_t window = (int64_t)kProcessingTimeoutMs * 1000000;
    const int64_t threeBlocks = 3 * lastBlockSpan.load(std::memory_order_relaxed);
    return threeBlocks > window ? threeBlocks : window;
}

bool Brakka::isProcessing() const {
    const int64_t last = lastBlockStart.load(std::memory_order_acquire);
    if (last == 0) return false;
    return steadyNanos() - last < processingWindowNanos();
}

bool Brakka::handsOver() const {
    return isProcessing() && !onAudioThread() &&
           lockOwner.load(std::memory_order_relaxed) != std::this_thread::get_id();
}

void Brakka::waitForTask(BrakkaEngineTask& task) {
    waitUntil([&] { return task.done.load(std::memory_order_acquire); });
}

void Brakka::drainTasks() {
    // A task runs once the parameter changes queued before it are in; on the audio thread as
    // long as the block's budget lasts (one task at least).
    bool first = true;
    BrakkaEngineTask* task;
    while (handOver.tasks.front(task)) {
        if ((!first && pastDeadline()) ||
            handOver.parameters.popped() - task->parametersBefore > ((size_t)-1 >> 1))
            return;
        if (task->beginsLoad && inAudioBlock && !loadFitsBeforeTick()) return;
        first = false;
        handOver.tasks.pop(task);
        task->run(task->context);
        task->done.store(true, std::memory_order_release);
    }
}

bool Brakka::tryEnter(bool audioThread) {
    if (!engineLock.try_lock()) return false;
    if (lockDepth == 0) inAudioBlock = audioThread;
    enterLocked();
    return true;
}

void Brakka::enterLocked() {
    // Only the outermost holder drains, so a nested call never reorders the changes that the
    // call around it is applying.
    if (++lockDepth == 1) {
        // Optimistic readers see an odd count until the hold ends.
        stateWrites.fetch_add(1, std::memory_order_acq_rel);
        lockOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
        // The audio thread: a budget of work for the block (see pastDeadline). A program load
        // under way goes on first; the lock's other holders complete it.
        workDeadline = inAudioBlock && realtimeBlocks ? steadyNanos() + workBudgetNanos() : 0;
        if (inAudioBlock) applyProgramAtBlockStart();
        continueProgramLoad();
        if (loadNextValue < 0 && !pastDeadline()) {
            drainPendingParameters();
            drainTasks();
        }
    }
}

void Brakka::leaveLocked() {
    // The automations a thread other than the audio thread collected during its hold go to
    // the host once the lock is free: the host's handling of them (which may take its own
    // locks or call back into the plug-in) never lengthens the hold. The audio thread never
    // fills hostOutbox, so for it nothing is moved, allocated or freed here.
    std::vector<AutomationEntry> send;
    if (lockDepth == 1) {
        if (loadNextValue < 0) drainPendingParameters();
        if (!inAudioBlock && !hostOutbox.empty()) send.swap(hostOutbox);
        inAudioBlock = false;
        workDeadline = 0;
        lockOwner.store(std::thread::id(), std::memory_order_relaxed);
        stateWrites.fetch_add(1, std::memory_order_release);
    }
    --lockDepth;
    engineLock.unlock();
    for (const AutomationEntry& a : send)
        if (audioMaster) audioMaster(&cEffect, audioMasterAutomate, a.tag, 0, nullptr, a.value);
}

void Brakka::drainPendingParameters() {
    BrakkaParameterChange change;
    // On the audio thread as many as the block's budget allows (one at least).
    bool first = true;
    while ((first || !pastDeadline()) && handOver.parameters.pop(change)) {
        first = false;
        applyParameter(change.tag, change.value);
        restoreQueuedValue(change.tag, change.serial, change.value);
    }
    if (handOver.overflowPending.exchange(false, std::memory_order_acq_rel)) {
        for (int t = 0; t < kNumParameters; ++t)
            if (handOver.overflowTags[t].exchange(false, std::memory_order_acq_rel))
                applyParameter(t,
                               mirrorValueOf(handOver.mirror[t].load(std::memory_order_acquire)));
    }
}

void Brakka::setParameter(VstInt32 tag, float value) {
    if (!isValidTag(tag) || !vstSanitizeParameterValue(value)) return;
    // Behind a chunk load the audio thread made, which is still waiting: after it.
    if (onAudioThread() && deferFromAudioThread({DeferredOp::kParameter, tag, value})) return;
    const uint32_t serial = storeHostValue(tag, value);
    if (!isProcessing()) {
        // Nobody renders: take the lock, so the value is in place when this call returns.
        EngineLock lock(*this);
        applyParameter(tag, value);
        return;
    }
    if (onAudioThread() && tryEnter(true)) {
        // Between blocks on the audio thread: applied now. The host is told of the engine's
        // own consequences (Stop resetting Play, solo switch-offs) after the lock is
        // released, as in a block.
        const bool outermost = lockDepth == 1;
        applyParameter(tag, value);
        leaveLocked();
        if (outermost) flushAutomationOutbox();
        return;
    }
    // Blocks are being rendered: the audio thread applies it at the start of its next block.
    if (!handOver.parameters.push({tag, value, serial})) {
        handOver.overflowTags[tag].store(true, std::memory_order_release);
        handOver.overflowPending.store(true, std::memory_order_release);
    }
}

float Brakka::getParameter(VstInt32 tag) {
    if (!isValidTag(tag)) return 0.0f;
    return mirrorValueOf(handOver.mirror[tag].load(std::memory_order_acquire));
}

void Brakka::automateParameter(int tag, float value) {
    if (!isValidTag(tag)) return;
    setParameterInternal(tag, value);
    tellHost(tag, value);
}

void Brakka::tellHost(int tag, float value) {
    if (inAudioBlock) {
        if (audioOnly.automationOutboxCount < AudioThreadOnly::kAutomationOutboxSize)
            audioOnly.automationOutbox[audioOnly.automationOutboxCount++] = {tag, value};
    } else if (lockDepth > 0) {
        hostOutbox.push_back({tag, value}); // sent when the lock is released
    } else if (audioMaster) {
        audioMaster(&cEffect, audioMasterAutomate, tag, 0, nullptr, value);
    }
}

void Brakka::flushAutomationOutbox() {
    // Called by the audio thread after releasing the lock; only it fills the outbox. A host
    // that answers an automation with setParameter on this thread adds to the outbox while it
    // is being sent: those entries go out in this same loop.
    if (flushingOutbox) return;
    flushingOutbox = true;
    for (int i = 0; i < audioOnly.automationOutboxCount; ++i)
        if (audioMaster)
            audioMaster(&cEffect, audioMasterAutomate, audioOnly.automationOutbox[i].tag, 0,
                        nullptr, audioOnly.automationOutbox[i].value);
    audioOnly.automationOutboxCount = 0;
    flushingOutbox = false;
}

// --- parameter dispatch -----------------------------------------------------------------------

void Brakka::setParameterInternal(int tag, float value) {
    if (!isValidTag(tag) || !vstSanitizeParameterValue(value)) return;
    storeEngineValue(tag, value);
    applyParameter(tag, value);
}

void Brakka::applyParameter(int tag, float value) {
    if (!isValidTag(tag)) return;
    storeInTable(tag, value);
    currentProgram().values[tag] = value;
    if (parameters.isPatternTag(tag)) {
        auto& map = currentProgram().patternValues[clampPattern(currentPattern)];
        auto it = map.find((unsigned)tag);
        if (it != map.end())
            it->second = value;
        else if (!inAudioBlock)
            map[(unsigned)tag] = value;
    }
    dispatchParameter(tag, value);
    if (editorInterface) editorInterface->setParameter(tag, value);
}

void Brakka::storeInTable(int tag, float value) {
    // The table works out the natural value of every value stored; once a tag's value has been
    // stored and dispatched, its natural value is the one an equal value would give again.
    if (notDispatched[tag] || parameters.getVSTvalue(tag) != value)
        parameters.setVSTvalue(tag, value);
}

void Brakka::dispatchParameter(int tag, float value) {
    mixPending();
    notDispatched[tag] = false;
    if (tag <= kLastSoundTag) {
        setSoundParameter(tag, dsp(tag));
        return;
    }
    if (isVoiceFamilyTag(tag)) {
        applyFamilyParameter(tag, value, true);
        return;
    }
    switch (tag) {
    case kStepSizeTag:
        if (currentSequencer) applyStepSize(*currentSequencer);
        return;
    case kPlayTag:
        if ((int)natural(kSyncTag) == kSyncInternal) {
            if (value == 0.25f || !transportPlaying) songPosition = 0.0;
            if (value == 1.0f) {
                if (!transportPlaying) startPending = true;
                transportPlaying = true;
            }
        }
        return;
    case kStopTag:
        // A program load restores the stored value only (like Clear, below).
        if (value > 0.5f && !loadingProgram) {
            transportPlaying = false;
            automateParameter(kPlayTag, 0.0f);
        }
        return;
    case kPatternTag:
        // A program load ends on its first pattern: the stored choice is only restored.
        if (!loadingProgram) setCurrentPatternDeferred((int)natural(kPatternTag));
        return;
    case kCompressorTag:
        compressor.setInputGain(10.0f * value);
        compressor.setOutputGain(18.0f * value);
        compressor.setThreshold(-30.0f * value);
        return;
    case kCompressorAttackTag:
        compressor.setAttack(natural(kCompressorAttackTag));
        return;
    case kMIDIOutputOnlyTag:
        midiOutputOnly = (value == 1.0f);
        return;
    default:
        return;
    }
}

void Brakka::setVoiceParameter(int tag, float v) {
    if (tag < 0 || tag >= kRandomResetTag) return;
    if (tag <= kLastSoundTag)
        setSoundParameter(tag, v);
    else if (isVoiceFamilyTag(tag))
        applyFamilyParameter(tag, v, false);
}

void Brakka::setSoundParameter(int tag, float v) {
    voices.setVoiceParameter(tag, v);
    if (tag == kMoreCowbellTag) setVoiceAudibility(BrakkaVoiceBank::kCowbell);
}

void Brakka::applyFamilyParameter(int tag, float v, bool stored) {
    const int family = familyFirstTag(tag);
    const int voice = tag - family;
    switch (family) {
    case kLevelTag:
    case kMuteTag:
        setVoiceAudibility(voice);
        return;
    case kPanTag: {
        const float pan = stored ? dsp(tag) : v;
        const int k = BrakkaParameterManager::panLawIndex(std::isnan(pan) ? 0.5f : pan);
        panGainLeft[voice] = parameters.getPanLawLeft()[k];
        panGainRight[voice] = parameters.getPanLawRight()[k];
        return;
    }
    case kOutputTag: {
        const float busValue = stored ? natural(tag) : v;
        const int bus = std::isnan(busValue) ? 0 : (int)busValue;
        outputBus[voice] = bus < 0 ? 0 : (bus >= kNumOutputBuses ? kNumOutputBuses - 1 : bus);
        return;
    }
    case kSoloTag:
        updateSoloState(tag, v > 0.5f);
        return;
    default:
        break;
    }
    BrakkaSequencer* seq = currentSequencer;
    if (!seq) return;
    switch (family) {
    case kSelectedBeatsTag:
        seq->setSelectedBeats(voice, (int)((stored ? dsp(tag) : v) * 2147483647.0));
        return;
    case kRandomBeatsTag:
        seq->setRandomBeats(voice, (int)((stored ? dsp(tag) : v) * 2147483647.0));
        return;
    case kRandomSizeTag:
        seq->setRandomSize(voice, (int)(stored ? dsp(tag) : v));
        return;
    case kRandomVelocityTag:
        // The normalized value: 0 means "take the velocity row".
        seq->setRandomVelocity(voice, v);
        return;
    case kClearTag:
    case kRandomFillTag:
        // One-shot actions on the rows, when switched on. A program load only restores their
        // stored values: acting on them would wipe or scramble rows whenever a host left one of
        // these switches at 1.0 in a saved program.
        if (stored && (v != 1.0f || loadingProgram)) return;
        if (family == kClearTag)
            seq->clearNotes(voice);
        else
            seq->randomizeNotes(voice);
        return;
    default:
        return; // Random Reset: read at each pattern start
    }
}

void Brakka::setVoiceAudibility(int v) {
    if (v < 0 || v >= kNumVoices) return;
    bool muted = natural(kMuteTag + v) == 1.0f;
    bool audible = soloTag == 0 ? !muted : (soloTag == kSoloTag + v) && !muted;
    float level = dsp(kLevelTag + v);
    if (v == BrakkaVoiceBank::kCowbell && natural(kMoreCowbellTag) == 1.0f) level = 1.2f;
    voiceGain[v] = audible ? level : 0.0f;
}

void Brakka::updateSoloState(int tag, bool on) {
    const int soloBefore = soloTag;
    if (on) {
        // Solo is exclusive when switched; a program load restores the stored values as they
        // are (older programs hold several solos on; the last of them is the one heard).
        if (!loadingProgram)
            for (int t = kSoloTag; t < kSoloTag + kNumVoices; ++t)
                if (t != tag && natural(t) == 1.0f) automateParameter(t, 0.0f);
        soloTag = tag;
    } else if (soloTag == tag) {
        // Only the soloed voice's switch ends the solo: a host writing an off to another
        // voice's solo, or a load restoring the offs after the stored solo, keeps it.
        soloTag = 0;
    }
    // The voices' gains follow the solo choice alone (mute, level and More Cowbell set their
    // own): a load writing its twelve solo values mostly leaves it as it was.
    if (soloTag == soloBefore) return;
    for (int v = 0; v < kNumVoices; ++v)
        setVoiceAudibility(v);
}

void Brakka::getParameterName(VstInt32 tag, char* text) {
    answerFromDisplayTable(tag, text, [&] { displayTable.getName(tag, text, 8); });
}

void Brakka::getLongParameterName(int tag, char* text) {
    answerFromDisplayTable(tag, text, [&] { displayTable.getName(tag, text, 24); });
}

std::string Brakka::getFullParameterName(int tag) {
    if (!isValidTag(tag)) return std::string();
    std::lock_guard<std::mutex> lock(displayMutex);
    return displayTable.getName(tag);
}

void Brakka::getParameterDisplay(VstInt32 tag, char* text) {
    // Formatted from the mirror: the value the host wrote last, also while that change still
    // waits in the queue for the next block. The display table differs from the engine's only
    // in its values, so the text is the one the engine's table gives once the change is in.
    answerFromDisplayTable(tag, text, [&] {
        displayTable.setVSTvalue(tag, getParameter(tag));
        displayTable.getValueString(tag, text, 8);
    });
}

void Brakka::getParameterLabel(VstInt32 tag, char* text) {
    answerFromDisplayTable(tag, text, [&] { displayTable.getUnitsName(tag, text, 8); });
}

// --- modulated tags ---------------------------------------------------------------------------

void Brakka::setModSequenceValue(int tag, int step, float value) {
    if (!parameters.isModulatableTag(tag) || step < 0 || step >= kNumSteps || std::isnan(value))
        return;
    runOnEngine([&] {
        currentSequencer->setModValue((unsigned)tag, step, value);
        currentSequencer->registerModTag((unsigned)tag);
    });
}

void Brakka::registerModTag(int tag) {
    if (!parameters.isModulatableTag(tag)) return;
    runOnEngine([&] { currentSequencer->registerModTag((unsigned)tag); });
}

void Brakka::unregisterModTag(int tag) {
    if (!parameters.isModulatableTag(tag)) return;
    runOnEngine([&] {
        currentSequencer->unregisterModTag(parameters.getVoiceFromParamTag((unsigned)tag),
                                           (unsigned)tag);
    });
}

void Brakka::unregisterAllModTags() {
    runOnEngine([&] { currentSequencer->unregisterAllModTags(); });
}

void Brakka::fillModValues(long tag, int shape) {
    if (!parameters.isModulatableTag(tag) || shape < 0 || shape > 4) return;
    runOnEngine([&] {
        currentSequencer->fillModValues((unsigned)tag, shape);
        if (shape == 0)
            currentSequencer->unregisterModTag(parameters.getVoiceFromParamTag((unsigned)tag),
                                               (unsigned)tag);
        else
            currentSequencer->registerModTag((unsigned)tag);
    });
}

void Brakka::resetSequencer() {
    runOnEngine([&] {
        if ((int)natural(kSyncTag) == kSyncInternal) songPosition = 0.0;
    });
}

// --- host frame -------------------------------------------------------------------------------

bool Brakka::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= kNumOutputs || !properties) return false;
    char letter[3] = {(char)('A' + index / 2), ' ', 0};
    std::strncpy(properties->label, "Brakka ", 63);
    properties->label[63] = 0;
    std::strncat(properties->label, letter, 63 - std::strlen(properties->label));
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

VstInt32 Brakka::getNumMidiInputChannels() {
    return 1;
}
VstInt32 Brakka::getNumMidiOutputChannels() {
    return 1;
}

bool Brakka::getEffectName(char* name) {
    vstCopyString(name, kEffectName, kVstMaxEffectNameLen);
    return true;
}

bool Brakka::getVendorString(char* text) {
    vstCopyString(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool Brakka::getProductString(char* text) {
    vstCopyString(text, kEffectName, kVstMaxProductStrLen);
    return true;
}

VstInt32 Brakka::getVendorVersion() {
    return kVendorVersion;
}

VstInt32 Brakka::canDo(char* text) {
    if (!text) return -1;
    for (const char* yes : kCanDoYes)
        if (std::strcmp(text, yes) == 0) return 1;
    return -1;
}

VstPlugCategory Brakka::getPlugCategory() {
    return kPlugCategEffect;
}

VstIntPtr Brakka::vendorSpecific(VstInt32 opcode, VstIntPtr value, void* ptr, float opt) {
    if (opcode == kOpcodeNaturalToVST || opcode == kOpcodeVSTToNatural) {
        if (!isValidTag((long)value) || !ptr) return 0;
        // Pure conversions: the display table answers them away from the engine lock.
        std::lock_guard<std::mutex> lock(displayMutex);
        zu_paramTypes type = displayTable.getType((long)value);
        float result = opt;
        if (type != kParamSyncTime && type != kParamSyncFreq)
            result = opcode == kOpcodeNaturalToVST
                         ? displayTable.VSTvalueFromNaturalValue((long)value, opt)
                         : displayTable.naturalValueFromVSTvalue((long)value, opt);
        *static_cast<float*>(ptr) = result;
        return 1;
    }
    if (opcode == kOpcodeImportPatterns) return importPatterns(ptr);
    return 0;
}
