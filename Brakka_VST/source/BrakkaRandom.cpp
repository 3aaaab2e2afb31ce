#include "BrakkaRandom.h"

#include "BrakkaSequencer.h"

#include <atomic>
#include <mutex>

namespace {

constexpr uint64_t kSeed = 0x42726b6b61ULL;
// Knuth's MMIX multiplier and increment: full period over the 64-bit state.
constexpr uint64_t kMultiplier = 6364136223846793005ULL;
constexpr uint64_t kIncrement = 1442695040888963407ULL;

std::atomic<uint64_t> gState{kSeed};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the generator must be lock-free");

std::once_flag gInstalled;

} // namespace

int brakkaRandom() {
    uint64_t old = gState.load(std::memory_order_relaxed);
    uint64_t next;
    do {
        next = old * kMultiplier + kIncrement;
    } while (!gState.compare_exchange_weak(old, next, std::memory_order_relaxed));
    // The high bits of an LCG are the good ones: take 31 of them.
    return (int)(next >> 33);
}

void brakkaRandomFill(int* out, int count) {
    // The same numbers as count calls of brakkaRandom in a row, for one compare-and-swap.
    uint64_t old = gState.load(std::memory_order_relaxed);
    uint64_t next;
    do {
        next = old;
        for (int i = 0; i < count; ++i) {
            next = next * kMultiplier + kIncrement;
            out[i] = (int)(next >> 33);
        }
    } while (!gState.compare_exchange_weak(old, next, std::memory_order_relaxed));
}

void brakkaSeedRandom(uint64_t seed) {
    gState.store(seed, std::memory_order_relaxed);
}

void brakkaInstallRandomSource() {
    std::call_once(gInstalled,
                   [] { BrakkaSequencer::setRandomSource(&brakkaRandom, &brakkaRandomFill); });
}
