// Lock-free hand-over to the holder of the engine lock: fixed-size multi-producer queues of
// parameter changes and of tasks. Other threads push when the engine lock is busy; whichever
// thread holds the lock next drains the queue in order. Neither side ever blocks or allocates:
// each cell carries a sequence number that tells producers and the consumer whether it is free
// or filled.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// A bounded queue of Capacity (a power of two) values of T: any number of producers, one
// consumer at a time.
template <class T, size_t Capacity>
class BrakkaBoundedQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "the capacity is a power of two");

public:
    static constexpr size_t kCapacity = Capacity;

    BrakkaBoundedQueue() {
        for (size_t i = 0; i < kCapacity; ++i)
            cells[i].sequence.store(i, std::memory_order_relaxed);
    }

    // False when the queue is full; the caller then falls back to its own remedy.
    bool push(const T& item) {
        size_t pos = enqueuePos.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells[pos & (kCapacity - 1)];
            size_t seq = cell.sequence.load(std::memory_order_acquire);
            intptr_t diff = (intptr_t)seq - (intptr_t)pos;
            if (diff == 0) {
                if (enqueuePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    cell.item = item;
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

    // Values pushed so far, and taken so far (the latter for the consumer only).
    size_t pushed() const { return enqueuePos.load(std::memory_order_acquire); }
    size_t popped() const { return dequeuePos.load(std::memory_order_relaxed); }

    // The next value, left in the queue (consumer only); false as pop.
    bool front(T& item) const {
        size_t pos = dequeuePos.load(std::memory_order_relaxed);
        const Cell& cell = cells[pos & (kCapacity - 1)];
        size_t seq = cell.sequence.load(std::memory_order_acquire);
        if ((intptr_t)seq - (intptr_t)(pos + 1) < 0) return false;
        item = cell.item;
        return true;
    }

    // False when the queue is empty, or a producer is still writing the next cell.
    bool pop(T& item) {
        size_t pos = dequeuePos.load(std::memory_order_relaxed);
        Cell& cell = cells[pos & (kCapacity - 1)];
        size_t seq = cell.sequence.load(std::memory_order_acquire);
        if ((intptr_t)seq - (intptr_t)(pos + 1) < 0) return false;
        item = cell.item;
        dequeuePos.store(pos + 1, std::memory_order_relaxed);
        cell.sequence.store(pos + kCapacity, std::memory_order_release);
        return true;
    }

private:
    struct Cell {
        std::atomic<size_t> sequence;
        T item;
    };
    Cell cells[kCapacity];
    alignas(64) std::atomic<size_t> enqueuePos{0};
    alignas(64) std::atomic<size_t> dequeuePos{0};
};

// A parameter change queued by setParameter: tag, value and the sequence number of the write in
// the parameter's mirror.
struct BrakkaParameterChange {
    int tag;
    float value;
    uint32_t serial;
};
using BrakkaParameterQueue = BrakkaBoundedQueue<BrakkaParameterChange, 4096>;

// Work another thread hands to the audio thread: a function and its context, which live on the
// handing thread's stack until `done` is set. The audio thread runs it and sets done; the
// handing thread waits for that, so the task's objects are never freed on the audio thread.
struct BrakkaEngineTask {
    void (*run)(void* context);
    void* context;
    // The parameter queue's count of pushed changes when the task was queued: those changes
    // are applied first.
    size_t parametersBefore = 0;
    // The task begins a program load: it waits until the load fits before the clock's next
    // tick (see Brakka::loadFitsBeforeTick).
    bool beginsLoad = false;
    std::atomic<bool> done{false};
};
// One task per waiting thread.
using BrakkaTaskQueue = BrakkaBoundedQueue<BrakkaEngineTask*, 64>;
