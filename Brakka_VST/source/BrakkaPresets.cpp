// Programs as chunks: the preset chunk of one program, the bank chunk of all 48, and the
// factory bank read from the plug-in's resources.
//
// Preset chunk, native byte order (little-endian):
//   int32 format number (100 written, not read), name[24], 263 float values by tag,
//   16 pattern blocks (the sequencer's own serialized form, each as long as it says),
//   then for each pattern its pattern-tag values in ascending tag order (61 floats).
// Bank chunk: the 48 preset chunks back to back, nothing else.
//
// Chunks come from project and preset files, which get damaged: every chunk is checked
// against the byte count the host gives, with every count and tag inside it, before anything
// changes. A chunk is read into fresh program records away from the audio thread and swapped
// in under the engine lock, so a damaged chunk leaves every program as it was.
#include "Brakka.h"

#include "BrakkaResources.h"

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <thread>

namespace {

constexpr size_t kFormatBytes = 4;
constexpr size_t kNameOffset = 4;
constexpr size_t kValuesOffset = kNameOffset + BrakkaProgram::kNameSize;
constexpr size_t kBlocksOffset = kValuesOffset + 4 * kNumParameters; // 1080
constexpr int32_t kFormatNumber = 100;

// The factory bank file: big-endian header, the chunk size at 156, the bank chunk at 160.
const char kFactoryResourceName[] = "BrakkaFactoryPresets";
const char kFactoryResourceType[] = "dat";
constexpr size_t kFactoryChunkSizeOffset = 156;
constexpr size_t kFactoryChunkOffset = 160;

uint32_t readBE32(const unsigned char* p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

float readFloat(const char* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void writeFloat(char* p, float v) {
    std::memcpy(p, &v, sizeof v);
}

} // namespace

float Brakka::sanitizedValue(int tag, float value) const {
    return vstSanitizeParameterValue(value) ? value : defaultValues[tag];
}

size_t Brakka::getPresetChunkSize(int index, bool) {
    EngineLock lock(*this);
    return presetChunkSize(*programs[clampProgram(index)]);
}

void Brakka::getPresetChunk(int index, void* dst) {
    if (!dst) return;
    EngineLock lock(*this);
    writePresetChunk(*programs[clampProgram(index)], dst);
}

void Brakka::copyProgram(BrakkaProgram& to, const BrakkaProgram& from) {
    std::memcpy(to.name, from.name, sizeof(to.name));
    std::memcpy(to.values, from.values, sizeof(to.values));
    for (int p = 0; p < kNumPatterns; ++p) {
        to.patterns[p] = from.patterns[p];
        auto dst = to.patternValues[p].begin();
        for (auto src = from.patternValues[p].begin();
             src != from.patternValues[p].end() && dst != to.patternValues[p].end(); ++src, ++dst)
            dst->second = src->second;
    }
}

size_t Brakka::presetChunkSize(const BrakkaProgram& program) const {
    size_t size = kBlocksOffset;
    // Each pattern's own value count: the maps always hold the same tags, and counting each
    // keeps the size equal to what getPresetChunk writes even if they did not.
    for (int p = 0; p < kNumPatterns; ++p)
        size += 4 * program.patternValues[p].size() + program.patterns[p].getSize(false);
    return size;
}

void Brakka::writePresetChunk(const BrakkaProgram& program, void* dst) {
    char* p = static_cast<char*>(dst);
    std::memcpy(p, &kFormatNumber, kFormatBytes);
    std::memcpy(p + kNameOffset, program.name, BrakkaProgram::kNameSize);
    std::memcpy(p + kValuesOffset, program.values, 4 * kNumParameters);
    p += kBlocksOffset;
    for (const BrakkaSequencer& pattern : program.patterns) {
        pattern.getAllData(p);
        p += pattern.getSize(false);
    }
    for (const auto& values : program.patternValues) {
        for (const auto& entry : values) {
            writeFloat(p, entry.second);
            p += 4;
        }
    }
}

size_t Brakka::validatePresetChunk(const void* data, size_t length) const {
    if (!data || length < kBlocksOffset) return 0;
    const char* bytes = static_cast<const char*>(data);
    const std::set<unsigned>& modulatable = parameters.getModulatableTags();
    size_t pos = kBlocksOffset;
    for (int p = 0; p < kNumPatterns; ++p) {
        const size_t block =
            BrakkaSequencer::validateAllData(bytes + pos, length - pos, modulatable);
        if (block == 0) return 0;
        pos += block;
    }
    const size_t values = 4 * parameters.getPatternTags().size() * kNumPatterns;
    if (length - pos < values) return 0;
    return pos + values;
}

bool Brakka::setPresetChunk(const void* data, size_t length, BrakkaProgram* program,
                            size_t* consumed) {
    if (!program) return false;
    const size_t total = validatePresetChunk(data, length);
    if (total == 0) return false;
    const char* bytes = static_cast<const char*>(data);

    std::memcpy(program->name, bytes + kNameOffset, BrakkaProgram::kNameSize);
    // The name is shown as a C string: a name without its zero ends at the last byte.
    if (!std::memchr(program->name, 0, BrakkaProgram::kNameSize))
        program->name[BrakkaProgram::kNameSize - 1] = 0;
    for (int tag = 0; tag < kNumParameters; ++tag)
        program->values[tag] = sanitizedValue(tag, readFloat(bytes + kValuesOffset + 4 * tag));

    size_t pos = kBlocksOffset;
    const std::set<unsigned>& modulatable = parameters.getModulatableTags();
    for (BrakkaSequencer& pattern : program->patterns) {
        // The block's own length: after loading, a pattern holds a row for every modulatable
        // tag, so its getSize is larger than the block whenever the block stored fewer rows.
        size_t block = 0;
        pattern.setAllData(bytes + pos, length - pos, modulatable, false, &block);
        pos += block;
    }
    for (auto& values : program->patternValues) {
        values.clear();
        for (unsigned tag : parameters.getPatternTags()) {
            values[tag] = sanitizedValue((int)tag, readFloat(bytes + pos));
            pos += 4;
        }
    }
    if (consumed) *consumed = total;
    return true;
}

VstInt32 Brakka::getChunk(void** data, bool isPreset) {
    if (!data) return 0;
    *data = nullptr;
    // A chunk load or program change the audio thread left to the worker shows in the save.
    waitForDeferredOps();
    // Stored programs are read without the engine lock, and the audio thread does no work
    // for a save. programsMutex keeps their records from being replaced. Each program is
    // copied aside first and written from the copy: the current one (which the engine's owner
    // changes at any time) while no thread holds the engine lock, every other one while no
    // program change happens. A save during which the current program changed, or whose
    // current program grew a row, is made again.
    std::lock_guard<std::mutex> oneSave(saveMutex); // the copy and the answer are shared
    std::shared_lock<std::shared_mutex> hold(programsMutex);
    for (;;) {
        const uint32_t switches = programSwitches.load(std::memory_order_acquire);
        if (switches & 1) {
            std::this_thread::yield();
            continue;
        }
        const int current = clampProgram(programIndex.load(std::memory_order_acquire));
        const int first = isPreset ? current : 0;
        const int count = isPreset ? 1 : kNumPrograms;
        size_t sizes[kNumPrograms] = {};
        size_t total = 0;
        {
            BrakkaRacyReads racy; // checked against each program's copy below
            for (int i = first; i < first + count; ++i)
                total += sizes[i] = presetChunkSize(*programs[i]);
        }
        if (total == 0 || total > (size_t)INT32_MAX) return 0;
        char* buffer = new (std::nothrow) char[total];
        if (!buffer) return 0;
        char* p = buffer;
        bool again = false;
        for (int i = first; i < first + count && !again; ++i) {
            readOptimistically([&] { copyProgram(currentCopy, *programs[i]); }, i == current);
            again = programSwitches.load(std::memory_order_acquire) != switches ||
                    presetChunkSize(currentCopy) != sizes[i];
            if (again) break;
            writePresetChunk(currentCopy, p);
            p += sizes[i];
        }
        if (again) {
            delete[] buffer;
            continue;
        }
        // The previous answer stays valid until this call: the host owns none of it.
        delete[] chunkBuffer;
        chunkBuffer = buffer;
        *data = buffer;
        return (VstInt32)total;
    }
}

VstInt32 Brakka::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (!data || byteSize <= 0) return 0;
    const char* bytes = static_cast<const char*>(data);
    const size_t length = (size_t)byteSize;

    // Check the whole chunk before allocating anything, then read it into fresh programs.
    // They are released (the old ones, after the swap) once the lock is given back.
    const int count = isPreset ? 1 : kNumPrograms;
    size_t pos = 0;
    for (int i = 0; i < count; ++i) {
        const size_t used = validatePresetChunk(bytes + pos, length - pos);
        if (used == 0) return 0;
        pos += used;
    }
    // On the audio thread the chunk is only copied; the worker loads it (see stageChunk).
    if (onRealtimeThread() && stageChunk(bytes, pos, isPreset)) return 1;

    std::unique_ptr<BrakkaProgram> fresh[kNumPrograms];
    pos = 0;
    for (int i = 0; i < count; ++i) {
        fresh[i].reset(new (std::nothrow) BrakkaProgram);
        size_t used = 0;
        if (!fresh[i] || !setPresetChunk(bytes + pos, length - pos, fresh[i].get(), &used))
            return 0;
        pos += used;
    }

    // Swapped in by the engine's owner (the audio thread while blocks are processed); the
    // replaced programs come back in fresh and are freed here.
    std::unique_lock<std::shared_mutex> hold(programsMutex);
    uint32_t ticket = 0;
    runLoadOnEngine([&] {
        if (isPreset) {
            const int current = clampProgram(curProgram);
            programs[current].swap(fresh[0]);
            ticket = loadProgram(current);
        } else {
            for (int i = 0; i < kNumPrograms; ++i)
                programs[i].swap(fresh[i]);
            ticket = loadProgram(0);
        }
    });
    // The new records are in place; their values reach the engine over the next blocks.
    hold.unlock();
    waitForProgramLoad(ticket);
    return 1;
}

// --- calls on the audio thread ----------------------------------------------------------------
//
// Some hosts load chunks and change programs on their audio thread (the thread that calls
// processReplacing, unless the host calls it a user, prefetch or offline thread: there a chunk
// is loaded at once). There nothing may wait or allocate, so:
//  - setChunk checks the chunk (which reads only its headers), copies it into a staging slot
//    and returns 1; the engine's worker thread decodes it and hands it over as a load from
//    any other thread would (as a task the audio thread takes at its next block). The host
//    sees the new state from then on: a few milliseconds for a preset, some 20 ms for a
//    bank. getChunk waits for it, so a save right after a load never returns the old state.
//  - setProgram applies the program at once between blocks, or at the next block's start
//    when another thread holds the engine lock.
//  - While a staged load waits, the audio thread's setProgram and setParameter calls queue
//    behind it, so everything acts in the order the host called.
// Each slot is address space reserved when the engine is made (kStagingBytes, more than the
// largest bank); memory is taken only for the pages a chunk fills, and handed back to the
// system (MADV_FREE) once the worker has loaded it. An instance that never gets a chunk on its
// audio thread thus costs nothing, and several instances only what they load at the same time.
// With both slots waiting, or no worker thread, a chunk is loaded on the calling thread.

const size_t Brakka::kStagingBytes = (size_t)32 << 20;

void Brakka::reserveStaging() {
    for (StagingSlot& slot : fromAudioThread.staging) {
        void* p = mmap(nullptr, kStagingBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        slot.bytes = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
    }
}

void Brakka::releaseStaging() {
    for (StagingSlot& slot : fromAudioThread.staging) {
        if (slot.bytes) munmap(slot.bytes, kStagingBytes);
        slot.bytes = nullptr;
    }
}

bool Brakka::stageChunk(const char* bytes, size_t length, bool isPreset) {
    if (length > kStagingBytes || !midiMapSaver.joinable()) return false;
    for (int s = 0; s < kStagingSlots; ++s) {
        StagingSlot& slot = fromAudioThread.staging[s];
        if (!slot.bytes || slot.busy.load(std::memory_order_acquire)) continue;
        std::memcpy(slot.bytes, bytes, length);
        slot.length = length;
        slot.isPreset = isPreset;
        slot.busy.store(true, std::memory_order_relaxed);
        if (deferFromAudioThread({DeferredOp::kChunk, s, 0.0f})) return true;
        slot.busy.store(false, std::memory_order_relaxed);
        return false;
    }
    return false;
}

bool Brakka::deferFromAudioThread(const DeferredOp& op) {
    // Only chunk loads start a queue; other calls join one that waits.
    if (op.kind != DeferredOp::kChunk &&
        fromAudioThread.pending.load(std::memory_order_acquire) == 0)
        return false;
    const unsigned head = fromAudioThread.head.load(std::memory_order_relaxed);
    if (head - fromAudioThread.tail.load(std::memory_order_acquire) >= (unsigned)kDeferredOps)
        return false;
    fromAudioThread.ops[head % kDeferredOps] = op;
    fromAudioThread.pending.fetch_add(1, std::memory_order_acq_rel);
    fromAudioThread.head.store(head + 1, std::memory_order_release);
    sem_post(&workerWake);
    return true;
}

void Brakka::runDeferredOps() {
    for (;;) {
        const unsigned tail = fromAudioThread.tail.load(std::memory_order_relaxed);
        if (tail == fromAudioThread.head.load(std::memory_order_acquire)) return;
        const DeferredOp op = fromAudioThread.ops[tail % kDeferredOps];
        if (op.kind == DeferredOp::kChunk) {
            StagingSlot& slot = fromAudioThread.staging[op.index];
            setChunk(slot.bytes, (VstInt32)slot.length, slot.isPreset);
            madvise(slot.bytes, kStagingBytes, MADV_FREE);
            slot.busy.store(false, std::memory_order_release);
        } else if (op.kind == DeferredOp::kProgram) {
            setProgram(op.index);
        } else {
            setParameter(op.index, op.value);
        }
        fromAudioThread.tail.store(tail + 1, std::memory_order_release);
        fromAudioThread.pending.fetch_sub(1, std::memory_order_acq_rel);
    }
}

void Brakka::waitForDeferredOps() {
    while (fromAudioThread.pending.load(std::memory_order_acquire) > 0 && midiMapSaver.joinable() &&
           std::this_thread::get_id() != midiMapSaver.get_id())
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void Brakka::initPresets() {
    const unsigned char* file = nullptr;
    size_t size = 0;
    if (!brakkaFindResource(kFactoryResourceName, kFactoryResourceType, &file, &size) ||
        size < kFactoryChunkOffset)
        return;
    // Only the chunk size of the header is used; a size beyond the file is cut to the file.
    size_t chunk = readBE32(file + kFactoryChunkSizeOffset);
    const size_t available = size - kFactoryChunkOffset;
    if (chunk > available) chunk = available;
    if (chunk == 0 || chunk > (size_t)INT32_MAX) return;
    setChunk(const_cast<unsigned char*>(file + kFactoryChunkOffset), (VstInt32)chunk, false);
}
