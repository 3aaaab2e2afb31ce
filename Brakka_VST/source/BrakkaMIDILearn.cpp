// MIDI learn: learnt controllers drive their parameters, a modifier click in the editor arms
// learning for a control, and two messages in a row from one controller bind it.
//
// midiController runs on the audio thread within its block; handleSpecialClick runs on the
// editor's thread and hands its change to the engine's owner. The bindings live in a
// fixed-size table, so a learn completed on the audio thread allocates nothing. The assignments
// file is never written there: the engine's saver thread polls a flag, copies the table between
// the engine lock's holds and replaces the file (atomically, see MIDIMapFile).
#include "Brakka.h"

#include "MIDIMapFile.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <new>
#include <system_error>

namespace {

// How often the saver looks for a learn completed on the audio thread.
constexpr std::chrono::milliseconds kSaverPoll(100);
constexpr int kNoController = 255;

} // namespace

std::atomic<int> Brakka::lastCtrl{kNoController};

void Brakka::midiController(char controller, char value) {
    // processEvents already holds the lock, so this nests; a direct call must not wait.
    if (!tryEnter(true)) return;
    const int number = (unsigned char)controller;
    const int tag = learnTag.load(std::memory_order_relaxed);
    if (learnState.load(std::memory_order_relaxed) == 0) {
        const float normalized = (unsigned char)value * 0.007874016f;
        midiMap.forEachTagOf(controller, [&](int t) { setParameterInternal(t, normalized); });
    } else if (number != lastCtrl.load(std::memory_order_relaxed)) {
        // The first message of a controller only marks it; the value is not applied.
        lastCtrl.store(number, std::memory_order_relaxed);
    } else {
        // A second message in a row from the same controller binds it. The binding is never
        // stored twice; a full table refuses a new one and the learn ends without it.
        const bool replaced = midiMap.eraseFirst(controller, tag);
        if (midiMap.insert(controller, tag) || replaced) requestMIDIMapSave(false);
        lastCtrl.store(kNoController, std::memory_order_relaxed);
        learnState.store(0, std::memory_order_relaxed);
        if (editorInterface) editorInterface->highlightControl(tag, false);
    }
    leaveLocked();
}

void Brakka::handleSpecialClick(int tag) {
    if (tag < 0 || tag > kLearnTagLimit) return;
    bool save = false;
    runOnEngine([&] {
        const int armed = learnTag.load(std::memory_order_relaxed);
        if (learnState.load(std::memory_order_relaxed) == 0) {
            learnTag.store(tag, std::memory_order_relaxed);
            learnState.store(1, std::memory_order_relaxed);
            if (editorInterface) editorInterface->highlightControl(tag, true);
        } else if (tag != armed) {
            if (editorInterface) editorInterface->highlightControl(armed, false);
            learnTag.store(tag, std::memory_order_relaxed);
            if (editorInterface) editorInterface->highlightControl(tag, true);
        } else {
            // A second click on the armed control clears its bindings and ends learning.
            midiMap.eraseTag(armed);
            save = true;
            if (editorInterface) editorInterface->highlightControl(armed, false);
            learnState.store(0, std::memory_order_relaxed);
        }
    });
    if (save) requestMIDIMapSave(true);
}

std::multimap<char, int> Brakka::getMIDIMap() {
    std::unique_ptr<BrakkaLearnMap> snapshot(new BrakkaLearnMap);
    copyMIDIMap(*snapshot);
    return snapshot->toMultimap();
}

void Brakka::copyMIDIMap(BrakkaLearnMap& to) {
    // Copied between the engine lock's holds, as the savers copy programs.
    if (lockOwner.load(std::memory_order_relaxed) == std::this_thread::get_id())
        to.copyFrom(midiMap);
    else
        readOptimistically([&] { to.copyFrom(midiMap); }, true);
}

unsigned int Brakka::getLearnState() {
    return learnState.load(std::memory_order_relaxed);
}

int Brakka::getLearnTag() {
    return learnTag.load(std::memory_order_relaxed);
}

// --- the assignments file saver ---------------------------------------------------------------

void Brakka::startMIDIMapSaver() {
    // Without a thread (the system refused one) the editor's clearing click saves at once,
    // learns made on the audio thread are saved when the engine is destroyed, and the audio
    // thread's chunk loads are made on it directly.
    sem_init(&workerWake, 0, 0);
    try {
        midiMapSaver = std::thread([this] { midiMapSaverLoop(); });
    } catch (const std::system_error&) {
    }
}

void Brakka::stopMIDIMapSaver() {
    if (midiMapSaver.joinable()) {
        midiMapSaverStop.store(true, std::memory_order_release);
        sem_post(&workerWake);
        midiMapSaver.join();
    }
    sem_destroy(&workerWake);
    if (midiMapSaveWanted.exchange(false, std::memory_order_acq_rel)) saveMIDIMapNow();
}

void Brakka::midiMapSaverLoop() {
    for (;;) {
        // A learn on the audio thread only raises its flag, so the wait ends on a post or at
        // the next poll. A chunk load of the audio thread posts.
        timespec until;
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += (long)std::chrono::nanoseconds(kSaverPoll).count();
        until.tv_sec += until.tv_nsec / 1000000000;
        until.tv_nsec %= 1000000000;
        while (sem_timedwait(&workerWake, &until) != 0 && errno == EINTR) {
        }
        const bool stop = midiMapSaverStop.load(std::memory_order_acquire);
        runDeferredOps();
        if (midiMapSaveWanted.exchange(false, std::memory_order_acq_rel)) saveMIDIMapNow();
        if (stop) return;
    }
}

void Brakka::requestMIDIMapSave(bool wake) {
    midiMapSaveWanted.store(true, std::memory_order_release);
    if (!wake) return;
    if (!midiMapSaver.joinable()) {
        if (midiMapSaveWanted.exchange(false, std::memory_order_acq_rel)) saveMIDIMapNow();
        return;
    }
    sem_post(&workerWake);
}

void Brakka::saveMIDIMapNow() {
    std::unique_ptr<BrakkaLearnMap> snapshot(new (std::nothrow) BrakkaLearnMap);
    if (!snapshot) return;
    // The table is copied without the engine lock (the audio thread does nothing for a save);
    // the file is written here.
    copyMIDIMap(*snapshot);
    SaveMIDIMap(kMIDIMapFilename, snapshot->toMultimap());
}
