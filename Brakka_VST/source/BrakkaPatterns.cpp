// Pattern management (switching, pattern values, clear, copy, paste, row access), program
// selection and naming, and the pattern import of the private host opcode.
#include "Brakka.h"

#include "BrakkaPatternDictionary.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// Sets the probabilities and sizes of a pattern from the pattern values it would get from the
// parameter table's current state, so that a pattern is usable before it ever becomes current.
void Brakka::applyPatternToSequencer(BrakkaSequencer& seq) {
    for (int v = 0; v < kNumVoices; ++v) {
        seq.setSelectedBeats(v, (int)(dsp(kSelectedBeatsTag + v) * 2147483647.0));
        seq.setRandomBeats(v, (int)(dsp(kRandomBeatsTag + v) * 2147483647.0));
        seq.setRandomSize(v, (int)dsp(kRandomSizeTag + v));
        seq.setRandomVelocity(v, parameters.getVSTvalue(kRandomVelocityTag + v));
    }
    applyStepSize(seq);
}

void Brakka::applyStepSize(BrakkaSequencer& seq) {
    seq.setStepTicks((int)dsp(kStepSizeTag));
    int i = (int)natural(kStepSizeTag);
    seq.setSequenceLength(kSequenceLengths[i < 0 ? 0 : (i > 4 ? 4 : i)]);
}

void Brakka::notifyNoteRows() {
    if (!editorInterface) return;
    unsigned char row[BrakkaSequencer::kRowLength];
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
    if (!sliced) {
        updateParametersFromPattern();
    } else if (loadNextValue < 0 || loadNextValue >= kNumParameters) {
        // The pattern's values as the last part of a program load (see continueProgramLoad):
        // a load under way applies them from the start, after its program's values.
        if (loadNextValue < 0) loadTicket = loadsBegun.fetch_add(1, std::memory_order_relaxed) + 1;
        loadNextValue = kNumParameters;
        continueProgramLoad();
    }
    if (editorInterface) editorInterface->patternChanged(p);
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
    runOnEngine([&] {
        copied = *currentSequencer;
        parameters.saveState(clipboardStateId);
    });
    // The clipboard's previous contents are released here, away from the engine lock.
    std::lock_guard<std::mutex> lock(clipboardMutex);
    std::swap(clipboardSequencer, copied);
}

void Brakka::pattern_paste() {
    // Copied aside first; under the engine lock the copy is only swapped in (the replaced
    // pattern is released after the lock).
    BrakkaSequencer pasted;
    {
        std::lock_guard<std::mutex> lock(clipboardMutex);
        pasted = clipboardSequencer;
    }
    runOnEngine([&] {
        std::swap(*currentSequencer, pasted);
        parameters.restoreState(clipboardStateId);
        parameters.saveState(currentPattern);
        auto& map = currentProgram().patternValues[clampPattern(currentPattern)];
        for (auto& entry : map) {
            entry.second = parameters.getVSTvalue((long)entry.first);
            syncMirror((int)entry.first);
        }
        updateParametersFromPattern();
    });
}

// Queries of the editor and the host read the current pattern without the engine lock (see
// readEngineState); edits are handed to the engine's owner.

void Brakka::getNoteRow(int v, unsigned char row[BrakkaSequencer::kRowLength]) {
    if (!row) return;
    readEngineState([&] { currentSequencer->getNoteRow(v, row); });
}

void Brakka::getVelocityRow(int v, float row[BrakkaSequencer::kRowLength]) {
    if (!row) return;
    readEngineState([&] { currentSequencer->getVelocityRow(v, row); });
}

void Brakka::getModRow(int tag, float row[BrakkaSequencer::kRowLength]) {
    if (!row) return;
    const unsigned t = (unsigned)(tag < 0 ? 0 : tag);
    bool present = false;
    readEngineState([&] {
        present = currentSequencer->hasModRow(t) || !parameters.isModulatableTag(tag);
        currentSequencer->getModRow(t, row);
    });
    if (present) return;
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
            programAtNextBlock.store((int)index, std::memory_order_release);
            return;
        }
        const bool outermost = lockDepth == 1;
        loadProgram(index);
        leaveLocked();
        if (outermost) flushAutomationOutbox();
        return;
    }
    uint32_t ticket = 0;
    runOnEngine([&] { ticket = loadProgram(index); });
    waitForProgramLoad(ticket);
}

void Brakka::applyProgramAtBlockStart() {
    const int index = programAtNextBlock.exchange(-1, std::memory_order_acq_rel);
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
    loadTicket = loadsBegun.fetch_add(1, std::memory_order_relaxed) + 1;
    continueProgramLoad();
    return loadTicket;
}

void Brakka::continueProgramLoad() {
    // The stored value of every tag that is not a pattern tag, in ascending order, then the
    // current pattern's values; at last the editor is told.
    while (loadNextValue >= 0) {
        BrakkaProgram& program = currentProgram();
        const auto& patternValues = program.patternValues[clampPattern(currentPattern)];
        if (loadNextValue < kNumParameters) {
            const int tag = loadNextValue++;
            if (parameters.isPatternTag(tag)) continue;
            loadingProgram = true;
            setParameterInternal(tag, program.values[tag]);
            loadingProgram = false;
        } else if (loadNextValue - kNumParameters < (int)patternValues.size()) {
            const auto entry = std::next(patternValues.begin(), loadNextValue - kNumParameters);
            ++loadNextValue;
            if (isResumed)
                automateParameter((int)entry->first, entry->second);
            else
                setParameterInternal((int)entry->first, entry->second);
        } else {
            loadNextValue = -1;
            if (editorInterface) editorInterface->patternChanged(pendingPattern);
            notifyAllRows();
            loadsDone.store(loadTicket, std::memory_order_release);
            return;
        }
        if (pastDeadline()) return;
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
    char stored[BrakkaProgram::kNameSize];
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
    char stored[BrakkaProgram::kNameSize];
    readEngineState([&] { std::memcpy(stored, programs[index]->name, sizeof stored); });
    stored[BrakkaProgram::kNameSize - 1] = 0;
    std::snprintf(text, kVstMaxProgNameLen, "%s", stored);
    return true;
}

// --- pattern import ---------------------------------------------------------------------------

VstIntPtr Brakka::importPatterns(void* ptr) {
    if (!ptr) return -1;
    const BrakkaPatternDictionary* dict = *static_cast<const BrakkaPatternDictionary* const*>(ptr);
    if (!dict) return -1;
    VstIntPtr result = 0;
    std::unique_lock<std::shared_mutex> hold(programsMutex);
    runOnEngine([&]() {
        result = [&]() -> VstIntPtr {
            BrakkaProgram& program = currentProgram();
            char key[32];
            for (int p = 0; p < kNumPatterns; ++p) {
                std::snprintf(key, sizeof(key), "Pattern %d", p);
                auto it = dict->blocks.find(key);
                if (it == dict->blocks.end()) return -1;
                // A damaged block counts as missing: the pattern keeps its contents.
                if (!program.patterns[p].setAllData(it->second.data(), it->second.size(),
                                                    parameters.getModulatableTags()))
                    return -1;
            }
            for (int p = 0; p < kNumPatterns; ++p) {
                for (unsigned int tag : parameters.getPatternTags()) {
                    std::snprintf(key, sizeof(key), "S%dT%ld", p, (long)tag);
                    auto it = dict->numbers.find(key);
                    if (it == dict->numbers.end()) return -1;
                    float value = it->second;
                    if (!vstSanitizeParameterValue(value)) value = 0.0f;
                    program.patternValues[p][tag] = value;
                }
            }
            currentPattern = 0;
            pendingPattern = 0;
            currentSequencer = &program.patterns[0];
            updateParametersFromPattern();
            return 0;
        }();
    });
    return result;
}
