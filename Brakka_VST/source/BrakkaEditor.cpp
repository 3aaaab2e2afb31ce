// The editor's life (open, close, idle), the engine's notifications and the user's edits. The
// views themselves are built in BrakkaEditorViews.cpp.
#include "BrakkaEditor.h"

#include "Brakka.h"
#include "BrakkaEditorSettings.h"
#include "BrakkaResources.h"
#include "CCharacterDisplay.h"
#include "CEGControl.h"
#include "CHighlightFrame.h"
#include "CRirezariResource.h"
#include "CZUBrakkaControls.h"

#include <cmath>
#include <string>

using namespace brakka_layout;

namespace {

constexpr const char* kVoiceNames[kNumVoices] = {"Kickdrum", "Snare 8",  "Snare 9",    "Low Tom",
                                                 "Mid Tom",  "High Tom", "closed Hat", "Open Hat",
                                                 "Cymbal",   "Rimshot",  "Clap",       "Cowbell"};

constexpr int kLastNoteStepTag = kTagNoteRows + kNumVoices * kNumSteps - 1; // 650
constexpr int kLastValueStepTag = kTagValueRow + kNumSteps - 1;             // 683

uint32_t packPattern(uint32_t count, int current, int pending) {
    return (count << 16) | ((uint32_t)(pending & 0xff) << 8) | (uint32_t)(current & 0xff);
}

} // namespace

BrakkaEditor::BrakkaEditor(Brakka* e) : AEffGUIEditor(e), engine(e) {
    // Fonts and bitmaps come from the plug-in's embedded resources. Installed once per
    // process, so instances made on several threads at once do not race on it.
    static const bool lookupInstalled =
        (setResourceLookup(brakkaFindResource, brakkaResourceInfo), true);
    (void)lookupInstalled;
    rect.top = 0;
    rect.left = 0;
    rect.bottom = (VstInt16)kHeight;
    rect.right = (VstInt16)kWidth;
    setKnobMode(kLinearMode);
    for (auto& m : noteMask)
        m.store(0, std::memory_order_relaxed);
    for (auto& w : parameterDirty)
        w.store(0, std::memory_order_relaxed);
    for (auto& w : modRowDirty)
        w.store(0, std::memory_order_relaxed);
}

BrakkaEditor::~BrakkaEditor() {
    openFlag.store(false, std::memory_order_release);
    releaseFrame();
}

// --- open, close, idle ----------------------------------------------------------------------

double BrakkaEditor::getZoom() {
    if (zoom == 0) zoom = BrakkaEditorSettings::loadZoom();
    return zoom;
}

bool BrakkaEditor::getRect(ERect** r) {
    // An open window keeps its size when the host refused a new one: answer that size until
    // the next open, which takes the chosen zoom.
    const double z = frame && frame->isOpen() ? frame->getZoom() : getZoom();
    rect.right = (VstInt16)std::ceil(kWidth * z - 1e-9);
    rect.bottom = (VstInt16)std::ceil(kHeight * z - 1e-9);
    return AEffGUIEditor::getRect(r);
}

void BrakkaEditor::setZoom(double z) {
    z = BrakkaEditorSettings::nearestZoom(z);
    BrakkaEditorSettings::saveZoom(z);
    if (z == getZoom()) return;
    zoom = z;
    if (!frame) return;
    // An off-screen frame has no host to ask.
    if (!frame->isOpen() || engine->sizeWindow((VstInt32)std::ceil(kWidth * z - 1e-9),
                                               (VstInt32)std::ceil(kHeight * z - 1e-9)))
        frame->setZoom(z);
}

bool BrakkaEditor::open(void* parentWindow) {
    if (!parentWindow) return false;
    if (isOpen()) close();
    if (!openOffscreen()) return false;
    frame->setZoom(getZoom());
    if (!frame->open(parentWindow)) {
        close();
        return false;
    }
    AEffGUIEditor::open(parentWindow);
    return true;
}

bool BrakkaEditor::openOffscreen() {
    if (isOpen()) close();
    buildFrame();

    // Start the record afresh: what the engine reports from here on is applied by idle, and
    // everything before is read from the engine below.
    pendingStep.store(-1, std::memory_order_relaxed);
    noteDirty.store(0, std::memory_order_relaxed);
    noteReload.store(0, std::memory_order_relaxed);
    for (auto& w : parameterDirty)
        w.store(0, std::memory_order_relaxed);
    for (auto& w : modRowDirty)
        w.store(0, std::memory_order_relaxed);
    velocityRowDirty.store(false, std::memory_order_relaxed);
    allRowsDirty.store(false, std::memory_order_relaxed);
    highlightDirty.store(false, std::memory_order_relaxed);
    shownPatternState = patternState.load(std::memory_order_acquire);
    openFlag.store(true, std::memory_order_seq_cst);

    frame->setHighlightColor(0, 176, 100, 255);
    for (auto& set : voiceSets)
        for (CView* v : set)
            v->setVisible(false);
    showPattern(engine->getCurrentPattern(), engine->getPendingPattern());
    for (int v = 0; v < kNumVoices; ++v)
        loadNoteRow(v);
    for (int tag = 0; tag < kNumParameters; ++tag)
        showParameter(tag, engine->getParameter(tag));
    setCurrentVoice(currentVoice);
    const int step = engine->getCurrentStep();
    for (CZUBrakkaMultiButton* row : noteRows)
        row->highlightOneSlider((short)step);
    valueRow->highlightOneSlider((short)step);
    showHighlight(engine->getLearnState() != 0 ? engine->getLearnTag() : -1);
    for (size_t i = 0; i < BrakkaEditorSettings::kNumZooms; ++i)
        if (BrakkaEditorSettings::kZooms[i] == getZoom())
            zoomMenu->setValue((float)i / (float)(BrakkaEditorSettings::kNumZooms - 1));
    showTempo();
    return true;
}

void BrakkaEditor::close() {
    openFlag.store(false, std::memory_order_seq_cst);
    releaseFrame();
    AEffGUIEditor::close();
}

void BrakkaEditor::releaseFrame() {
    for (auto& set : voiceSets)
        set.clear();
    for (auto& row : noteRows)
        row = nullptr;
    valueRow = nullptr;
    voiceSelector = nullptr;
    patternSelector = nullptr;
    rowEnable = nullptr;
    valueCaption = nullptr;
    tempoReadout = nullptr;
    zoomMenu = nullptr;
    if (frame) {
        frame->close();
        frame->forget();
        frame = nullptr;
    }
    for (CBitmap* b : bitmaps)
        if (b) b->forget();
    bitmaps.clear();
    if (captionFont) captionFont->forget();
    if (numberFont) numberFont->forget();
    captionFont = numberFont = nullptr;
}

void BrakkaEditor::idle() {
    if (!isOpen() || !frame) return;
    applyPendingChanges();
    // A tempo that follows the host shows as it changes.
    showTempo();
    frame->idle();
}

void BrakkaEditor::applyPendingChanges() {
    const int step = pendingStep.exchange(-1, std::memory_order_acquire);
    if (step >= 0) {
        for (CZUBrakkaMultiButton* row : noteRows)
            row->highlightOneSlider((short)step);
        valueRow->highlightOneSlider((short)step);
    }

    const uint32_t pattern = patternState.load(std::memory_order_acquire);
    if (pattern != shownPatternState) {
        shownPatternState = pattern;
        showPattern((int)(pattern & 0xff), (int)((pattern >> 8) & 0xff));
    }

    const uint32_t notes = noteDirty.exchange(0, std::memory_order_acquire);
    for (int v = 0; v < kNumVoices; ++v)
        if (notes & (1u << v)) showNoteMask(v, noteMask[v].load(std::memory_order_acquire));
    const uint32_t reload = noteReload.exchange(0, std::memory_order_acquire);
    for (int v = 0; v < kNumVoices; ++v)
        if (reload & (1u << v)) loadNoteRow(v);

    for (int w = 0; w < kTagWords; ++w) {
        uint64_t bits = parameterDirty[w].exchange(0, std::memory_order_acquire);
        while (bits) {
            const int bit = __builtin_ctzll(bits);
            bits &= bits - 1;
            const int tag = w * 64 + bit;
            showParameter(tag, engine->getParameter(tag));
        }
    }

    bool reloadValues = allRowsDirty.exchange(false, std::memory_order_acquire);
    if (velocityRowDirty.exchange(false, std::memory_order_acquire) && modTarget < 0)
        reloadValues = true;
    for (int w = 0; w < kTagWords; ++w) {
        const uint64_t bits = modRowDirty[w].exchange(0, std::memory_order_acquire);
        if (modTarget >= 0 && modTarget / 64 == w && (bits >> (modTarget % 64)) & 1)
            reloadValues = true;
    }
    if (reloadValues) loadValueRow();

    if (highlightDirty.exchange(false, std::memory_order_acquire))
        showHighlight(highlightTag.load(std::memory_order_acquire));
}

// --- engine notifications: record only ------------------------------------------------------

void BrakkaEditor::setCurrentStep(int step) {
    if (!isOpen() || step < 0 || step >= kNumSteps) return;
    pendingStep.store(step, std::memory_order_release);
}

void BrakkaEditor::noteRowChanged(int voice, const unsigned char* row) {
    if (!isOpen() || voice < 0 || voice >= kNumVoices || !row) return;
    uint32_t mask = 0;
    for (int s = 0; s < kNumSteps; ++s)
        if (row[s] != 0) mask |= 1u << s;
    noteMask[voice].store(mask, std::memory_order_release);
    noteDirty.fetch_or(1u << voice, std::memory_order_release);
}

void BrakkaEditor::modRowChanged(int tag) {
    if (!isOpen()) return;
    if (tag == kTagValueRow)
        allRowsDirty.store(true, std::memory_order_release);
    else if (tag < 0)
        velocityRowDirty.store(true, std::memory_order_release);
    else if (tag < kNumParameters)
        modRowDirty[tag / 64].fetch_or(1ull << (tag % 64), std::memory_order_release);
}

void BrakkaEditor::patternChanged(int pattern) {
    if (!isOpen() || pattern < 0 || pattern >= kNumPatterns) return;
    // Notifications come one at a time (the engine makes them under its lock).
    const uint32_t old = patternState.load(std::memory_order_relaxed);
    patternState.store(packPattern((old >> 16) + 1, pattern, pattern), std::memory_order_release);
}

void BrakkaEditor::setPendingPattern(int pattern) {
    if (!isOpen() || pattern < 0 || pattern >= kNumPatterns) return;
    const uint32_t old = patternState.load(std::memory_order_relaxed);
    patternState.store(packPattern((old >> 16) + 1, (int)(old & 0xff), pattern),
                       std::memory_order_release);
}

void BrakkaEditor::highlightControl(int tag, bool on) {
    if (!isOpen()) return;
    if (on) {
        highlightTag.store(tag, std::memory_order_release);
    } else {
        int expected = tag;
        highlightTag.compare_exchange_strong(expected, -1, std::memory_order_acq_rel);
    }
    highlightDirty.store(true, std::memory_order_release);
}

void BrakkaEditor::setParameter(int tag, float value) {
    if (!isOpen() || tag < 0 || tag >= kNumParameters) return;
    // Clear and Random Fill have just changed the voice's row in the engine.
    if (value == 1.0f && tag >= kClearTag && tag < kRandomFillTag + kNumVoices)
        noteReload.fetch_or(1u << ((tag - kClearTag) % kNumVoices), std::memory_order_release);
    parameterDirty[tag / 64].fetch_or(1ull << (tag % 64), std::memory_order_release);
}

// --- showing the engine's state (user-interface thread) -------------------------------------

void BrakkaEditor::showParameter(int tag, float value) {
    if (!frame || tag < 0 || tag >= kNumParameters) return;
    if (value == 1.0f && tag >= kClearTag && tag < kRandomFillTag + kNumVoices)
        loadNoteRow((tag - kClearTag) % kNumVoices);
    // The pattern selector follows the engine's pattern notifications (current and queued).
    if (tag == kPatternTag) return;
    // The velocity read-out counts 0..127 (the edit sends value / 127 back).
    if (isFamilyTag(tag, kRandomVelocityTag)) value *= kMaxRandomVelocity;
    CControl* control = frame->getControlFromID(tag);
    if (control) {
        if (control->isTypeOf("CZUControl"))
            static_cast<CZUControl*>(control)->setValue(tag, value);
        else
            control->setValue(value);
        control->invalid();
    }
    if (tag == kTempoTag) showTempo();
    if (tag == kStepSizeTag) showSequenceLength();
}

void BrakkaEditor::showTempo() {
    if (!tempoReadout) return;
    const float tempo = std::round(engine->getTempo());
    if (tempo == tempoReadout->getValue()) return;
    // A host that has not told its tempo yet: no number rather than 0.
    tempoReadout->setStringRebuildOnDraw(tempo > 0);
    if (!(tempo > 0)) tempoReadout->setValueString("---");
    tempoReadout->setValue(tempo);
    tempoReadout->invalid();
}

void BrakkaEditor::showSequenceLength() {
    float natural = 0.0f;
    engine->vendorSpecific(Brakka::kOpcodeVSTToNatural, kStepSizeTag, &natural,
                           engine->getParameter(kStepSizeTag));
    int index = (int)std::lround(natural);
    index = index < 0 ? 0 : (index > 4 ? 4 : index);
    const short length = (short)kSequenceLengths[index];
    for (CZUBrakkaMultiButton* row : noteRows)
        row->enableSliders(length);
    valueRow->enableSliders(length);
}

void BrakkaEditor::showPattern(int current, int pending) {
    currentPattern = current;
    if (!patternSelector) return;
    patternSelector->setValue(current);
    patternSelector->completePendingChange();
    if (pending != current) patternSelector->setValue((float)pending / (kNumPatterns - 1));
}

void BrakkaEditor::showHighlight(int tag) {
    if (!frame) return;
    if (tag >= 0)
        frame->setHighlightControl(tag, true);
    else
        frame->setHighlightControl(0, false);
    frame->setDirty(true);
}

void BrakkaEditor::loadNoteRow(int voice) {
    if (voice < 0 || voice >= kNumVoices || !noteRows[voice]) return;
    unsigned char row[kNumSteps];
    engine->getNoteRow(voice, row);
    noteRows[voice]->setAllValues(std::vector<unsigned char>(row, row + kNumSteps));
    noteRows[voice]->invalid();
}

void BrakkaEditor::showNoteMask(int voice, uint32_t mask) {
    if (!noteRows[voice]) return;
    for (int s = 0; s < kNumSteps; ++s)
        noteRows[voice]->setValue((short)s, (mask >> s) & 1 ? 1.0f : 0.0f);
    noteRows[voice]->invalid();
}

void BrakkaEditor::loadValueRow() {
    if (!valueRow) return;
    float row[kNumSteps];
    if (modTarget >= 0)
        engine->getModRow(modTarget, row);
    else
        engine->getVelocityRow(currentVoice, row);
    valueRow->setAllValues(std::vector<float>(row, row + kNumSteps));
    valueRow->invalid();
    showRowEnable();
}

void BrakkaEditor::showRowEnable() {
    if (!rowEnable) return;
    const bool on = modTarget >= 0 ? engine->getModRandomOnLoop(modTarget)
                                   : engine->getVelocityRandomOnLoop(currentVoice);
    rowEnable->setValue(on ? 1.0f : 0.0f);
    rowEnable->invalid();
}

void BrakkaEditor::displayVelocityLabel() {
    if (!valueCaption) return;
    valueCaption->setDisplayString(std::string(kVoiceNames[currentVoice]) + " Velocity");
}

void BrakkaEditor::showVelocityView() {
    modTarget = -1;
    if (!valueRow) return;
    valueRow->setDrawStyle(kZUMultisliderUnipolar);
    loadValueRow();
    displayVelocityLabel();
}

void BrakkaEditor::setCurrentVoice(int voice) {
    if (!isOpen() || !frame) return;
    voice = voice < 0 ? 0 : (voice >= kNumVoices ? kNumVoices - 1 : voice);
    for (CView* v : voiceSets[currentVoice])
        v->setVisible(false);
    currentVoice = voice;
    for (CView* v : voiceSets[currentVoice])
        v->setVisible(true);
    voiceSelector->setValue(1.0f - (float)voice / (kNumVoices - 1));
    voiceSelector->invalid();
    showVelocityView();
    frame->setDirty(true);
}

// --- the user's edits -----------------------------------------------------------------------

void BrakkaEditor::valueChanged(CControl* control) {
    if (!control) return;
    const long tag = control->getTag();
    if (tag == kTagVoiceSelector) {
        voiceChangedInGesture = true;
        setCurrentVoice((int)std::lround((1.0f - control->getValue()) * (kNumVoices - 1)));
        return;
    }
    valueChanged(tag, control->getValue());
}

void BrakkaEditor::valueChanged(long tag, float value) {
    if (tag < 0) return; // a handle without a parameter
    if (tag >= kTagNoteRows && tag <= kLastNoteStepTag) {
        const int voice = (int)(tag - kTagNoteRows) / kNumSteps;
        const int step = (int)(tag - kTagNoteRows) % kNumSteps;
        engine->setNote(voice, step, value == 1.0f ? 255 : 0);
    } else if (tag >= kTagValueRow && tag <= kLastValueStepTag) {
        const int step = (int)(tag - kTagValueRow);
        if (modTarget >= 0)
            engine->setModSequenceValue(modTarget, step, value);
        else
            engine->setVelocityValue(currentVoice, step, value);
    } else if (tag >= kTagFill && tag < kTagFill + 5) {
        if (value != 1.0f) return;
        if (modTarget >= 0)
            engine->fillModValues(modTarget, (int)(tag - kTagFill));
        else
            engine->fillVelocityValues(currentVoice, (int)(tag - kTagFill));
        loadValueRow();
    } else if (tag == kTagRowEnable) {
        if (modTarget >= 0) {
            engine->setModRandomOnLoop(modTarget, value == 1.0f);
            engine->registerModTag(modTarget);
        } else {
            engine->setVelocityRandomOnLoop(currentVoice, value == 1.0f);
        }
    } else if (tag >= kTagPatternClear && tag <= kTagPatternPaste) {
        if (value != 1.0f) return;
        if (tag == kTagPatternClear)
            engine->pattern_clear(currentPattern);
        else if (tag == kTagPatternCopy)
            engine->pattern_copy(currentPattern);
        else
            engine->pattern_paste();
    } else if (tag == kTagZoom) {
        const long last = (long)BrakkaEditorSettings::kNumZooms - 1;
        long index = std::lround(value * (float)last);
        setZoom(BrakkaEditorSettings::kZooms[index < 0 ? 0 : (index > last ? last : index)]);
    } else if (tag < kNumParameters) {
        if (isFamilyTag(tag, kRandomVelocityTag)) value /= kMaxRandomVelocity;
        engine->setParameterAutomated((VstInt32)tag, value);
    }
}

void BrakkaEditor::beginEdit(long tag) {
    if (tag == kTagVoiceSelector) voiceChangedInGesture = false;
    if (engine->isModulatableTag((int)tag) && valueRow) {
        modTarget = (int)tag;
        valueRow->setDrawStyle(kZUMultisliderBipolar);
        loadValueRow();
        if (valueCaption) valueCaption->setDisplayString(engine->getFullParameterName(modTarget));
    }
    // Only parameters are announced to the host.
    if (tag >= 0 && tag < kNumParameters) AEffGUIEditor::beginEdit((VstInt32)tag);
}

void BrakkaEditor::endEdit(long tag) {
    // A click on the voice already selected returns the value row to the velocities.
    if (tag == kTagVoiceSelector && !voiceChangedInGesture && modTarget >= 0) {
        showVelocityView();
        if (frame) frame->setDirty(true);
    }
    if (tag >= 0 && tag < kNumParameters) AEffGUIEditor::endEdit((VstInt32)tag);
}

long BrakkaEditor::controlModifierClicked(CControl* control, long button) {
    if (!control || !(button & kControl) || !(button & kAlt)) return 0;
    const long tag = control->getTag();
    if (tag >= 0 && tag <= Brakka::kLearnTagLimit && !control->isTypeOf("CEGControl"))
        engine->handleSpecialClick((int)tag);
    return 1;
}
