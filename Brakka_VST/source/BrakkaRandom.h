// The random source of the step sequencer's probability tests and random fills.
//
// The C library's rand() takes an internal lock, which the audio thread must never do. This
// generator is one process-wide 64-bit linear congruential state advanced with a
// compare-and-swap loop: lock-free, shared by every instance of the process as rand() is, and
// seeded with a fixed value so that a fresh process renders the same notes every time.
#pragma once

#include <cstdint>

// The next number, uniform in 0..2147483647. Safe on any thread; never blocks or allocates.
int brakkaRandom();
// The next count numbers at once (the row fills: a pattern start may draw hundreds).
void brakkaRandomFill(int* out, int count);

// Restarts the sequence (tests that need a known sequence; not used by the plug-in).
void brakkaSeedRandom(uint64_t seed);

// Makes brakkaRandom the sequencer's random source. Idempotent; the first call in the process
// installs it before any engine exists, so no audio thread can be reading the source then.
void brakkaInstallRandomSource();
