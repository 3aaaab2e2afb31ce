// Pattern management (switching, pattern values, clear, copy, paste, row access), program
// selection and naming, and the pattern import of the private host opcode.
#include "Brakka.h"

#include "BrakkaPatternDictionary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
int sequenceLengthOf(float stepSizeIndex) {
    const int i = (int)stepSizeIndex;
    return kSequenceLengths[i < 0 ? 0 : (i > 4 ? 4 : i)];
}
} // namespace

template <class Dsp, class Vst, class Natural>
void Brakka::sequencerSettingsPart(SequencerSettings& s, int part, Dsp&& dsp, Vst&& vst,
                                   Natural&& natural) {
    if (part < kNumVoices) {
        const int v = part;
        s.selectedBeats[v] = (int)(dsp(kSelectedBeatsTag + v) * 2147483647.0);
        s.randomBeats[v] = (int)(dsp(kRandomBeatsTag + v) * 2147483647.0);
        s.randomSize[v] = (int)dsp(kRandomSizeTag + v);
        s.randomVelocity[v] = vst(kRandomVelocityTag + v);
    } else {
        s.stepTicks = (int)dsp(kStepSizeTag);
        s.length = sequenceLengthOf(natural(kStepSizeTag));
    }
}

void Brakka::applySequencerSettings(BrakkaSequencer& seq, const SequencerSettings& s) {
    for (int v = 0; v < kNumVoices; ++v) {
        seq.setSelectedBeats(v, s.selectedBeats[v]);
        seq.setRandomBeats(v, s.randomBeats[v]);
        seq.setRandomSize(v, s.randomSize[v]);
        seq.setRandomVelocity(v, s.randomVelocity[v]);
    }
    seq.setStepTicks(s.stepTicks);
    seq.setSequenceLength(s.length);
}

// Sets the probabilities and sizes of a pattern from the pattern values it would get from the
// parameter table's current state, so that a pattern is usable before it ever becomes current.
void Brakka::applyPatternToSequencer(BrakkaSequencer& seq) {
    SequencerSettings s;
    for (int part = 0; part < PreparedSwitch::kParts; ++part)
        sequencerSettingsPart(
            s, part, [this](long tag) { return dsp(tag); },
            [this](long tag) { return parameters.getVSTvalue(tag); },
            [this](long tag) { return natural(tag); });
    applySequencerSettings(seq, s);
}

void Brakka::applyStepSize(BrakkaSequencer& seq) {
    seq.setStepTicks((int)dsp(kStepSizeTag));
    seq.setSequenceLength(sequenceLengthOf(natural(kStepSizeTag)));
}

void Brakka::preparePatternSwitch() {
    const int p = clampPattern(pendingPattern);
    if (!realtimeBlocks || p == currentPattern) return;
    const BrakkaProgram& program = currentProgram();
    PreparedSwitch& prepared = preparedSwitch;
    if (prepared.pattern != p || prepared.program != &program) {
        // This block copies the values; the next ones work out two parts each.
        const BrakkaPatternValues& values = program.patternValues[p];
        prepared.pattern = p;
        prepared.program = &program;
        prepared.parts = values.size() <= (size_t)PreparedSwitch::kMaxValues ? 0 : -1;
        prepared.count = 0;
        if (prepared.parts == 0)
            for (const auto& entry : values)
                prepared.values[prepared.count++] = entry;
        return;
    }
    if (prepared.parts < 0 || prepared.ready()) return;
    // The values as the table keeps them once stored (NaN as 0); a tag the copy lacks would
    // come from the table at the start, so the settings cannot be prepared.
    bool complete = true;
    auto valueOf = [&](long tag) {
        const BrakkaPatternValues::Entry* begin = prepared.values;
        const BrakkaPatternValues::Entry* end = begin + prepared.count;
        const BrakkaPatternValues::Entry* at = std::lower_bound(
            begin, end, (unsigned)tag,
            [](const BrakkaPatternValues::Entry& e, unsigned t) { return e.first < t; });
        if (at == end || at->first != (unsigned)tag) {
            complete = false;
            return 0.0f;
        }
        return std::isnan(at->second) ? 0.0f : at->second;
    };
    for (int k = 0; k < 2 && complete && !prepared.ready(); ++k)
        sequencerSettingsPart(
            prepared.settings, prepared.parts++,
            [&](long tag) { return parameters.dspValueOfVSTvalue(tag, valueOf(tag)); }, valueOf,
            [&](long tag) { return parameters.naturalValueFromVSTvalue(tag, valueOf(tag)); });
    if (!complete) prepared.parts = -1;
}

void Brakka::notifyNoteRows() {
    if (!editorInterface) return;
    unsigned char row[kNumSteps];
    for (int v = 0; v < kNumVoices; ++v) {
        currentSequencer->getNoteRow(v, row);
        editorInterface->noteRowChanged(v, row);
    }
}

void Brakka::notifyAllRows() {
    if (!editorInterface) return;
    notifyNoteRows();
    editorInterface->modRowChanged(kAllRowsChanged);
}

void Brakka::setCurrentPatternDeferred(int p) {
    p = clampPattern(p);
    EngineLock lock(*this);
    if (!transportPlaying) {
        // Stopped, nothing plays: the pattern's values may come over a few blocks.
        setCurrentPatternImmediate(p, true);
        return;
    }
    pendingPattern = p;
    if (editorInterface) editorInterface->setPendingPattern(p);
}

void Brakka::setCurrentPatternImmediate(int p, bool sliced) {
    p = clampPattern(p);
    EngineLock lock(*this);
    currentPattern = p;
    pendingPattern = p;
    currentSequencer = &currentProgram().patterns[p];
    if (sliced)
        applyPatternValues();
    else
        updateParametersFromPattern();
    if (editorInterface) editorInterface->patternChanged(p);
}

uint32_t Brakka::applyPatternValues() {
    // A load still at its program's values applies them after those anyway; one at its clock's
    // values applies them from the start and then the rest of the clock's.
    if (loadNextValue >= 0 && loadNextValue < kFirstClockPosition) return loadTicket;
    if (loadNextValue < 0) {
        loadTicket = loadsBegun.fetch_add(1, std::memory_order_relaxed) + 1;
        loadClockNext = -1;
    } else if (loadNextValue < kNumParameters) {
        loadClockNext = loadNextValue;
    }
    loadNextValue = kNumParameters;
    loadOnlyTells = false;
    continueProgramLoad();
    return loadTicket;
}

void Brakka::switchPatternAtStart(int p) {
    // Offline, everything at once.
    if (!realtimeBlocks) {
        setCurrentPatternImmediate(p);
        return;
    }
    // In real time the step that starts the pattern plays it at once: the values go into the
    // table, the program and the sequencer now, and the mirror, the editor and the host hear of
    // them over the next blocks (by the next tick), like the last part of a program load.
    finishProgramLoad();
    currentPattern = p;
    pendingPattern = p;
    currentSequencer = &currentProgram().patterns[p];
    // A pattern's values steer only its sequencer: they go into the table and the program, and
    // the sequencer takes them all at once, as dispatching each would set it but with a third
    // less work for the whole switch (this is the audio thread, at a tick).
    BrakkaProgram& program = currentProgram();
    const PreparedSwitch& prepared = preparedSwitch;
    bool ready = prepared.pattern == p && prepared.program == &program && prepared.ready() &&
                 prepared.count == (int)program.patternValues[p].size();
    int i = 0;
    for (const auto& [tag, value] : program.patternValues[p]) {
        storeInTable((int)tag, value);
        program.values[tag] = value;
        notDispatched[tag] = false;
        // The prepared settings hold while every value is the one they came from, bit for bit.
        ready = ready && prepared.values[i].first == tag &&
                std::memcmp(&prepared.values[i].second, &value, sizeof value) == 0;
        ++i;
    }
    if (ready)
        applySequencerSettings(*currentSequencer, prepared.settings);
    else
        applyPatternToSequencer(*currentSequencer);
    preparedSwitch.pattern = -1;
    notifyAllRows();
    if (editorInterface) editorInterface->patternChanged(p);
    loadTicket = loadsBegun.fetch_add(1, std::memory_order_relaxed) + 1;
    loadNextValue = kNumParameters;
    loadClockNext = -1;
    loadOnlyTells = true;
}

void Brakka::updateParametersFromPattern() {
    EngineLock lock(*this);
    const auto& map = currentProgram().patternValues[clampPattern(currentPattern)];
    for (const auto& entry : map) {
        if (isResumed)
            automateParameter((int)entry.first, entry.second);
        else
            setParameterInternal((int)entry.first, entry.second);
    }
    notifyAllRows();
}

void Brakka::pattern_clear(int) {
    runOnEngine([&] {
        for (int v = 0; v < kNumVoices; ++v)
            currentSequencer->clearNotes(v);
        notifyNoteRows();
    });
}

void Brakka::pattern_copy(int) {
    BrakkaSequencer copied;
    float values[kNumParameters];
    runOnEngine([&] {
        copied = *currentSequencer;
        for (const auto& [tag, value] : currentProgram().patternValues[currentPattern])
            values[tag] = value;
    });
    // The clipboard's previous contents are released here, away from the engine lock.
    std::lock_guard<std::mutex> lock(clipboardMutex);
    std::swap(clipboardSequencer, copied);
    std::memcpy(clipboardValues, values, sizeof values);
}

void Brakka::pattern_paste() {
    // Copied aside first; the engine's owner swaps the copy in (the replaced pattern is
    // released here) and applies its values like the last part of a program load.
    BrakkaSequencer pasted;
    float values[kNumParameters];
    {
        std::lock_guard<std::mutex> lock(clipboardMutex);
        pasted = clipboardSequencer;
        std::memcpy(values, clipboardValues, sizeof values);
    }
    uint32_t ticket = 0;
    runLoadOnEngine([&] {
        std::swap(*currentSequencer, pasted);
        for (auto& [tag, value] : currentProgram().patternValues[currentPattern])
            value = values[tag];
        ticket = applyPatternValues();
    });
    waitForProgramLoad(ticket);
}

// Queries of the editor and the host read the current pattern without the engine lock (see
// readEngineState); edits are handed to the engine's owner.

void Brakka::getNoteRow(int v, unsigned char row[kNumSteps]) {
    if (!row) return;
    if (!readEngineState([&] { currentSequencer->getNoteRow(v, row); }))
        std::memset(row, 0, kNumSteps);
}

void Brakka::getVelocityRow(int v, float row[kNumSteps]) {
    if (!row) return;
    if (!readEngineState([&] { currentSequencer->getVelocityRow(v, row); }))
        std::fill(row, row + kNumSteps, 0.0f);
}

void Brakka::getModRow(int tag, float row[kNumSteps]) {
    if (!row) return;
    const unsigned t = (unsigned)(tag < 0 ? 0 : tag);
    bool present = false;
    const bool read = readEngineState([&] {
        present = currentSequencer->hasModRow(t) || !parameters.isModulatableTag(tag);
        currentSequencer->getModRow(t, row);
    });
    if (!read) std::fill(row, row + kNumSteps, 0.5f);
    if (present || !read) return;
    // A row shown for the first time starts neutral in the pattern.
    runOnEngine([&] {
        currentSequencer->createModRow(t);
        currentSequencer->getModRow(t, row);
    });
}

void Brakka::setNote(int v, int step, unsigned char value) {
    runOnEngine([&] { currentSequencer->setNote(v, step, value); });
}

void Brakka::setVelocityValue(int v, int step, float value) {
    if (std::isnan(value)) return;
    runOnEngine([&] { currentSequencer->setVelocityValue(v, step, value); });
}

void Brakka::fillVelocityValues(int v, int shape) {
    if (shape < 0 || shape > 4) return;
    runOnEngine([&] { currentSequencer->fillVelocityValues(v, shape); });
}

bool Brakka::getVelocityRandomOnLoop(int v) {
    bool on = false;
    readEngineState([&] { on = currentSequencer->getVelocityRandomOnLoop(v); });
    return on;
}

void Brakka::setVelocityRandomOnLoop(int v, bool on) {
    runOnEngine([&] { currentSequencer->setVelocityRandomOnLoop(v, on); });
}

bool Brakka::getModRandomOnLoop(int tag) {
    if (!parameters.isModulatableTag(tag)) return false;
    bool on = false;
    readEngineState([&] { on = currentSequencer->getModRandomOnLoop((unsigned)tag); });
    return on;
}

void Brakka::setModRandomOnLoop(int tag, bool on) {
    if (!parameters.isModulatableTag(tag)) return;
    runOnEngine([&] { currentSequencer->setModRandomOnLoop((unsigned)tag, on); });
}

int Brakka::getCurrentPattern() {
    int pattern = 0;
    readEngineState([&] { pattern = currentPattern; });
    return pattern;
}

int Brakka::getPendingPattern() {
    int pattern = 0;
    readEngineState([&] { pattern = pendingPattern; });
    return pattern;
}

int Brakka::getCurrentStep() {
    int step = 0;
    readEngineState([&] { step = currentSequencer->getCurrentStep(); });
    return step;
}

// --- programs ---------------------------------------------------------------------------------

void Brakka::setProgram(VstInt32 index) {
    if (index < 0 || index >= kNumPrograms) return;
    if (onAudioThread()) {
        // A host's audio thread, between blocks or inside one: nothing may wait or allocate.
        // Behind a chunk load that waits for the worker it queues; otherwise it applies now
        // or, should another thread hold the lock, at the next block's start.
        if (deferFromAudioThread({DeferredOp::kProgram, (int)index, 0.0f})) return;
        if (!tryEnter(true)) {
            fromAudioThread.programAtNextBlock.store((int)index, std::memory_order_release);
            return;
        }
        const bool outermost = lockDepth == 1;
        loadProgram(index);
        leaveLocked();
        if (outermost) flushAutomationOutbox();
        return;
    }
    uint32_t ticket = 0;
    runLoadOnEngine([&] { ticket = loadProgram(index); });
    waitForProgramLoad(ticket);
}

void Brakka::applyProgramAtBlockStart() {
    const int index = fromAudioThread.programAtNextBlock.exchange(-1, std::memory_order_acq_rel);
    if (index >= 0) loadProgram(index);
}

uint32_t Brakka::loadProgram(int index) {
    EngineLock lock(*this);
    // Savers copy the current program while no lock is held and every other one while this
    // count stays even and unchanged.
    programSwitches.fetch_add(1, std::memory_order_acq_rel);
    curProgram = index;
    programIndex.store(index, std::memory_order_release);
    programSwitches.fetch_add(1, std::memory_order_release);
    // The program's first pattern plays from now on (blocks may come before the load is done).
    BrakkaProgram& program = currentProgram();
    currentPattern = 0;
    pendingPattern = 0;
    currentSequencer = &program.patterns[0];
    loadNextValue = 0;
    loadClockNext = kFirstClockPosition;
    loadOnlyTells = false;
    loadTicket = loadsBegun.fetch_add(1, std::memory_order_relaxed) + 1;
    continueProgramLoad();
    return loadTicket;
}

void Brakka::continueProgramLoad() {
    // What a whole load costs is measured for loadFitsBeforeTick (the tells of a pattern
    // switch cost little and do not count).
    if (loadNextValue < 0) return;
    const bool counted = !loadOnlyTells;
    const int64_t began = steadyNanos();
    stepProgramLoad();
    if (!counted) return;
    loadCostNanos += steadyNanos() - began;
    if (loadNextValue >= 0) return;
    lastLoadCostNanos = loadCostNanos;
    loadCostNanos = 0;
}

bool Brakka::loadChanges(int tag, float value) {
    if (tag == kPlayTag || isFamilyTag(tag, kSoloTag)) return true;
    return notDispatched[tag] || parameters.getVSTvalue(tag) != value;
}

int Brakka::loadOrderTag(int n) {
    // The clock's tags (Play, Stop, Tempo, Swing, Sync) come last, after the pattern's values
    // too (see loadClockNext): a new swing or tempo moves the clock onto another tick at once,
    // and a tick completes the load there and then.
    static_assert(kSyncTag - kPlayTag == 4 && kTempoTag == kPlayTag + 2 &&
                      kSwingTag == kPlayTag + 3,
                  "the clock's tags are contiguous");
    if (n < kPlayTag) return n;
    if (n < kFirstClockPosition) return n + kClockTags;
    return n - kFirstClockPosition + kPlayTag;
}

void Brakka::stepProgramLoad() {
    // The stored value of every tag that is not a pattern tag (in the order of loadOrderTag),
    // with the current pattern's values before the clock's; at last the editor is told. Every
    // value counts against the block's budget, also one that changes nothing (it is read all
    // the same, often from a cold cache: a load that changes little is no cheaper to walk).
    for (bool first = true; loadNextValue >= 0; first = false) {
        if (!first && pastDeadline()) return;
        BrakkaProgram& program = currentProgram();
        const auto& patternValues = program.patternValues[clampPattern(currentPattern)];
        if (loadNextValue < kNumParameters) {
            const int tag = loadOrderTag(loadNextValue++);
            // The pattern's values before the clock's; after the clock's, the end.
            if (loadNextValue == kFirstClockPosition && loadClockNext >= 0)
                loadNextValue = kNumParameters;
            else if (loadNextValue == kNumParameters)
                loadNextValue = kNumParameters + (int)patternValues.size();
            if (parameters.isPatternTag(tag)) continue;
            const float value = program.values[tag];
            if (!loadChanges(tag, value)) {
                // The mirror is written only when it differs: the line may be a host's.
                if (mirrorValueOf(handOver.mirror[tag].load(std::memory_order_relaxed)) != value)
                    storeEngineValue(tag, value);
                if (editorInterface) editorInterface->setParameter(tag, value);
                continue;
            }
            loadingProgram = true;
            setParameterInternal(tag, program.values[tag]);
            loadingProgram = false;
        } else if (loadNextValue - kNumParameters < (int)patternValues.size()) {
            const auto entry = patternValues.begin() + (loadNextValue++ - kNumParameters);
            const int tag = (int)entry->first;
            if (loadOnlyTells) {
                if (editorInterface) editorInterface->setParameter(tag, entry->second);
                // Patterns share most of their values: one the host already sees is not
                // written again, nor sent to it.
                if (mirrorValueOf(handOver.mirror[tag].load(std::memory_order_relaxed)) ==
                    entry->second)
                    continue;
                storeEngineValue(tag, entry->second);
                if (isResumed) tellHost(tag, entry->second);
            } else if (isResumed) {
                automateParameter(tag, entry->second);
            } else {
                setParameterInternal(tag, entry->second);
            }
        } else if (loadClockNext >= 0) {
            loadNextValue = loadClockNext;
            loadClockNext = -1;
        } else {
            loadNextValue = -1;
            if (!loadOnlyTells) {
                if (editorInterface) editorInterface->patternChanged(pendingPattern);
                notifyAllRows();
            }
            loadOnlyTells = false;
            loadsDone.store(loadTicket, std::memory_order_release);
            return;
        }
    }
}

void Brakka::waitForProgramLoad(uint32_t ticket) {
    waitUntil([&] { return (int32_t)(loadsDone.load(std::memory_order_acquire) - ticket) >= 0; });
}

VstInt32 Brakka::getProgram() {
    // Hosts poll it: answered from a copy, without the lock.
    return programIndex.load(std::memory_order_relaxed);
}

void Brakka::setProgramName(char* name) {
    if (!name) return;
    runOnEngine([&] {
        char* dst = currentProgram().name;
        std::strncpy(dst, name, BrakkaProgram::kNameSize - 1);
        dst[BrakkaProgram::kNameSize - 1] = 0;
    });
}

void Brakka::getProgramName(char* name) {
    if (!name) return;
    char stored[BrakkaProgram::kNameSize] = {};
    int index = 0;
    readEngineState([&] {
        index = clampProgram(curProgram);
        std::memcpy(stored, programs[index]->name, sizeof stored);
    });
    stored[BrakkaProgram::kNameSize - 1] = 0;
    if (std::strcmp(stored, "init") == 0)
        std::snprintf(name, kVstMaxProgNameLen, "init %d", index + 1);
    else
        std::snprintf(name, kVstMaxProgNameLen, "%.23s", stored);
}

bool Brakka::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms || !text) return false;
    char stored[BrakkaProgram::kNameSize] = {};
    const bool read =
        readEngineState([&] { std::memcpy(stored, programs[index]->name, sizeof stored); });
    stored[BrakkaProgram::kNameSize - 1] = 0;
    if (!read) {
        text[0] = 0;
        return false; // the audio thread found the engine busy
    }
    std::snprintf(text, kVstMaxProgNameLen, "%s", stored);
    return true;
}

// --- pattern import ---------------------------------------------------------------------------

VstIntPtr Brakka::importPatterns(void* ptr) {
    if (!ptr) return -1;
    const BrakkaPatternDictionary* dict = *static_cast<const BrakkaPatternDictionary* const*>(ptr);
    if (!dict) return -1;
    // Looked up here, away from the engine: the blocks and then the values, in order, up to the
    // first that is missing. What comes before a missing or damaged one is still imported.
    const std::vector<char>* blocks[kNumPatterns] = {};
    int blocksFound = 0;
    char key[32];
    for (; blocksFound < kNumPatterns; ++blocksFound) {
        std::snprintf(key, sizeof(key), "Pattern %d", blocksFound);
        auto it = dict->blocks.find(key);
        if (it == dict->blocks.end()) break;
        blocks[blocksFound] = &it->second;
    }
    const std::set<unsigned>& patternTags = parameters.getPatternTags();
    std::vector<float> values;
    for (int p = 0; p < kNumPatterns && blocksFound == kNumPatterns; ++p) {
        for (unsigned int tag : patternTags) {
            std::snprintf(key, sizeof(key), "S%dT%ld", p, (long)tag);
            auto it = dict->numbers.find(key);
            if (it == dict->numbers.end()) break;
            float value = it->second;
            values.push_back(vstSanitizeParameterValue(value) ? value : 0.0f);
        }
        if (values.size() < (size_t)(p + 1) * patternTags.size()) break;
    }
    // Decoded here into a copy of the current program, which the engine's owner swaps in; the
    // name, the values and the patterns not imported are taken over from the record in use
    // when the swap happens, as is the playing pattern's clock. A damaged block counts as
    // missing: it and the patterns after it keep their contents.
    std::unique_ptr<BrakkaProgram> fresh(new (std::nothrow) BrakkaProgram);
    if (!fresh) return -1;
    for (auto& patternValues : fresh->patternValues)
        for (unsigned tag : patternTags)
            patternValues[tag] = 0.0f;
    std::unique_lock<std::shared_mutex> hold(programsMutex);
    readOptimistically(
        [&] {
            const BrakkaProgram& live = *programs[clampProgram(curProgram)];
            for (int p = 0; p < kNumPatterns; ++p)
                fresh->patterns[p] = live.patterns[p];
        },
        true);
    int decoded = 0;
    while (decoded < blocksFound &&
           fresh->patterns[decoded].setAllData(blocks[decoded]->data(), blocks[decoded]->size(),
                                               parameters.getModulatableTags()))
        ++decoded;
    const bool complete =
        decoded == kNumPatterns && values.size() == kNumPatterns * patternTags.size();
    VstIntPtr result = -1;
    uint32_t ticket = 0;
    runLoadOnEngine([&]() {
        const int current = clampProgram(curProgram);
        BrakkaProgram& old = *programs[current];
        std::memcpy(fresh->name, old.name, sizeof(old.name));
        std::memcpy(fresh->values, old.values, sizeof(old.values));
        for (int p = decoded; p < kNumPatterns; ++p)
            fresh->patterns[p] = old.patterns[p]; // only when a block is missing or damaged
        const int playing = clampPattern(currentPattern);
        fresh->patterns[playing].setCurrent96th(old.patterns[playing].getCurrentTick());
        size_t next = 0;
        for (int p = 0; p < kNumPatterns; ++p) {
            auto dst = fresh->patternValues[p].begin();
            for (auto src = old.patternValues[p].begin();
                 src != old.patternValues[p].end() && dst != fresh->patternValues[p].end();
                 ++src, ++dst)
                dst->second =
                    decoded == kNumPatterns && next < values.size() ? values[next++] : src->second;
        }
        programs[current].swap(fresh);
        BrakkaProgram& program = currentProgram();
        if (!complete) {
            currentSequencer = &program.patterns[clampPattern(currentPattern)];
            return;
        }
        currentPattern = 0;
        pendingPattern = 0;
        currentSequencer = &program.patterns[0];
        ticket = applyPatternValues();
        result = 0;
    });
    hold.unlock();
    if (result == 0) waitForProgramLoad(ticket);
    return result;
}
