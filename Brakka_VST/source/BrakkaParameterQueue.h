// Lock-free hand-over to the holder of the engine lock. A fixed-size multi-producer queue of
// parameter changes (tag, value, and the
// sequence number of the write in the parameter's mirror).
// setParameter pushes into it when the engine lock is busy; whichever thread holds the lock next
// drains it in order. Neither side ever blocks or allocates: each cell carries a sequence
// number that tells producers and the consumer whether it is free or filled.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class BrakkaParameterQueue {
public:
    static constexpr size_t kCapacity = 4096; // a power of two

    BrakkaParameterQueue() {
        for (size_t i = 0; i < kCapacity; ++i)
            cells[i].sequence.store(i, std::memory_order_relaxed);
    }

    // False when the queue is full; the caller then falls back to its own remedy.
    bool push(int tag, float value, uint32_t serial) {
        size_t pos = enqueuePos.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells[pos & (kCapacity - 1)];
            size_t seq = cell.sequence.load(std::memory_order_acquire);
            intptr_t diff = (intptr_t)seq - (intptr_t)pos;
            if (diff == 0) {
                if (enqueuePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    cell.tag = tag;
                    cell.value = value;
                    cell.serial = serial;
                    cell.sequence.store(pos + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;
            } else {
                pos = enqueuePos.load(std::memory_order_relaxed);
            }
        }
    }

    // Only one consumer at a time (the holder of the engine lock).
    bool pop(int& tag, float& value, uint32_t& serial) {
        size_t pos = dequeuePos.load(std::memory_order_relaxed);
        Cell& cell = cells[pos & (kCapacity - 1)];
        size_t seq = cell.sequence.load(std::memory_order_acquire);
        if ((intptr_t)seq - (intptr_t)(pos + 1) < 0)
            return false; // empty, or a producer is still writing this cell
        tag = cell.tag;
        value = cell.value;
        serial = cell.serial;
        dequeuePos.store(pos + 1, std::memory_order_relaxed);
        cell.sequence.store(pos + kCapacity, std::memory_order_release);
        return true;
    }

private:
    struct Cell {
        std::atomic<size_t> sequence;
        int tag;
        float value;
        uint32_t serial;
    };
    Cell cells[kCapacity];
    alignas(64) std::atomic<size_t> enqueuePos{0};
    alignas(64) std::atomic<size_t> dequeuePos{0};
};

// Work another thread hands to the audio thread: a function and its context, which live on the
// handing thread's stack until `done` is set. The audio thread runs it and sets done; the
// handing thread waits for that, so the task's objects are never freed on the audio thread.
struct BrakkaEngineTask {
    void (*run)(void* context);
    void* context;
    std::atomic<bool> done{false};
};

// A fixed-size lock-free multi-producer queue of task pointers, built like the parameter queue;
// one consumer at a time (the holder of the engine lock).
class BrakkaTaskQueue {
public:
    static constexpr size_t kCapacity = 64; // a power of two; one task per waiting thread

    BrakkaTaskQueue() {
        for (size_t i = 0; i < kCapacity; ++i)
            cells[i].sequence.store(i, std::memory_order_relaxed);
    }

    bool push(BrakkaEngineTask* task) {
        size_t pos = enqueuePos.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells[pos & (kCapacity - 1)];
            size_t seq = cell.sequence.load(std::memory_order_acquire);
            intptr_t diff = (intptr_t)seq - (intptr_t)pos;
            if (diff == 0) {
                if (enqueuePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    cell.task = task;
                    cell.sequence.store(pos + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;
            } else {
                pos = enqueuePos.load(std::memory_order_relaxed);
            }
        }
    }

    BrakkaEngineTask* pop() {
        size_t pos = dequeuePos.load(std::memory_order_relaxed);
        Cell& cell = cells[pos & (kCapacity - 1)];
        size_t seq = cell.sequence.load(std::memory_order_acquire);
        if ((intptr_t)seq - (intptr_t)(pos + 1) < 0) return nullptr;
        BrakkaEngineTask* task = cell.task;
        dequeuePos.store(pos + 1, std::memory_order_relaxed);
        cell.sequence.store(pos + kCapacity, std::memory_order_release);
        return task;
    }

private:
    struct Cell {
        std::atomic<size_t> sequence;
        BrakkaEngineTask* task;
    };
    Cell cells[kCapacity];
    alignas(64) std::atomic<size_t> enqueuePos{0};
    alignas(64) std::atomic<size_t> dequeuePos{0};
};
