// MIDI learn: learnt controllers drive their parameters, a modifier click in the editor arms
// learning for a control, and two messages in a row from one controller bind it.
//
// midiController runs in the host's event call on the audio thread, inside the engine lock that
// processEvents holds; handleSpecialClick runs on the editor's thread and takes the lock. The
// bindings live in a fixed-size table, so a learn completed on the audio thread allocates
// nothing. The assignments file is never written there: the engine's saver thread polls a
// flag, copies the table under the lock and replaces the file (atomically, see MIDIMapFile).
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
    if (learnState == 0) {
        const float normalized = (unsigned char)value * 0.007874016f;
        midiMap.forEachTagOf(controller, [&](int tag) { setParameterInternal(tag, normalized); });
    } else if (number != lastCtrl.load(std::memory_order_relaxed)) {
        // The first message of a controller only marks it; the value is not applied.
        lastCtrl.store(number, std::memory_order_relaxed);
    } else {
        // A second message in a row from the same controller binds it. The binding is never
        // stored twice; a full table refuses a new one and the learn ends without it.
        const bool replaced = midiMap.eraseFirst(controller, learnTag);
        if (midiMap.insert(controller, learnTag) || replaced) requestMIDIMapSave(false);
        lastCtrl.store(kNoController, std::memory_order_relaxed);
        learnState = 0;
        if (editorInterface) editorInterface->highlightControl(learnTag, false);
    }
    leaveLocked();
}

void Brakka::handleSpecialClick(int tag) {
    if (tag < 0 || tag > kLearnTagLimit) return;
    bool save = false;
    {
        EngineLock lock(*this);
        if (learnState == 0) {
            learnTag = tag;
            learnState = 1;
            if (editorInterface) editorInterface->highlightControl(tag, true);
        } else if (tag != learnTag) {
            if (editorInterface) editorInterface->highlightControl(learnTag, false);
            learnTag = tag;
            if (editorInterface) editorInterface->highlightControl(tag, true);
        } else {
            // A second click on the armed control clears its bindings and ends learning.
            midiMap.eraseTag(learnTag);
            save = true;
            if (editorInterface) editorInterface->highlightControl(learnTag, false);
            learnState = 0;
        }
    }
    if (save) requestMIDIMapSave(true);
}

std::multimap<char, int> Brakka::getMIDIMap() {
    EngineLock lock(*this);
    return midiMap.toMultimap();
}

unsigned int Brakka::getLearnState() {
    EngineLock lock(*this);
    return learnState;
}

int Brakka::getLearnTag() {
    EngineLock lock(*this);
    return learnTag;
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
    // Only the table is copied on the engine (handed to the audio thread while it plays, so
    // a save never costs a block); the file is written here.
    runOnEngine([&] { snapshot->copyFrom(midiMap); });
    SaveMIDIMap(kMIDIMapFilename, snapshot->toMultimap());
}
