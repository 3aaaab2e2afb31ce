// BrakkaEditor: the plug-in's editor window. It builds one CHighlightFrame full of controls,
// sends the user's edits to the engine and shows what the engine and the host change.
//
// Threads. The engine calls the BrakkaEditorInterface operations from whatever thread changes
// its state, the audio thread included, while the host opens, idles and closes the window on
// its user-interface thread. Those calls never touch a view: they record what changed in
// lock-free state (the latest step, pattern and highlight; dirty bits per parameter, per note
// row and for the value rows) and idle() applies it to the views on the user-interface thread.
// They neither allocate nor lock, and while the editor is closed they do nothing at all. The
// editor object lives as long as the engine; only its frame is made by open() and released by
// close(), so a notification that races with close() finds nothing but atomics.
#pragma once

#include "BrakkaEditorInterface.h"
#include "BrakkaEditorLayout.h"
#include "CZUControl.h"
#include "aeffguieditor.h"

#include <atomic>
#include <cstdint>
#include <vector>

class Brakka;
class CBitmap;
class CHighlightFrame;
class CRirezariResource;
class CZUBrakkaMultiButton;
class CZUBrakkaMultiSlider;
class CZUBrakkaPatternSelector;
class CZUNumerical;
class CZUTextDisplay;
class CVerticalSwitch;
class CMovieButton;

class BrakkaEditor : public AEffGUIEditor,
                     public VSTGUIEditorInterface,
                     public CZUControlListener,
                     public BrakkaEditorInterface {
public:
    explicit BrakkaEditor(Brakka* engine);
    ~BrakkaEditor() override;

    // --- host side (user-interface thread) ----------------------------------------------------
    // The size of the open window, or of the next one at the editor's zoom.
    bool getRect(ERect** rect) override;
    // Builds the frame and embeds it as a child of the host's X11 window.
    bool open(void* parentWindow) override;
    // Builds the frame without a window (pictures, tests); idle() then only applies changes.
    bool openOffscreen();
    void close() override;
    bool isOpen() override { return openFlag.load(std::memory_order_acquire); }
    void idle() override;

    // Gesture brackets: a control is touched (from the frame) or released.
    void beginEdit(long tag) override;
    void endEdit(long tag) override;
    void beginEdit(VstInt32 tag) override { beginEdit((long)tag); }
    void endEdit(VstInt32 tag) override { endEdit((long)tag); }
    long getKnobMode() const override { return kLinearMode; }

    // --- listener (user-interface thread) -------------------------------------------------------
    void valueChanged(CControl* control) override;
    void valueChanged(long tag, float value) override;
    using CZUControlListener::controlModifierClicked; // the form with a point stays visible
    long controlModifierClicked(CControl* control, long button) override;
    void controlBeginEdit(CControl*) override {}

    // --- engine side (any thread; ignored while closed) ----------------------------------------
    void setCurrentStep(int step) override;
    void noteRowChanged(int voice, const unsigned char* row) override;
    void modRowChanged(int tag) override;
    void patternChanged(int pattern) override;
    void setPendingPattern(int pattern) override;
    void highlightControl(int tag, bool on) override;
    void setParameter(int tag, float value) override;

    // --- user-interface thread ------------------------------------------------------------------
    void setCurrentVoice(int voice);
    void displayVelocityLabel();
    int getCurrentVoice() const { return currentVoice; }
    // The parameter the value row shows, or -1 for the current voice's velocities.
    int getModulationTarget() const { return modTarget; }
    CHighlightFrame* getFrame() const { return frame; }
    // The zoom the editor draws at (read from the user's settings when first needed).
    double getZoom();
    // Switches to one of the zooms BrakkaEditorSettings offers and remembers it; the host is
    // asked for the new window size, and one that refuses sees the new size at the next open.
    void setZoom(double zoom);

private:
    void buildFrame();
    void addControl(CControl* control, int voiceSet = -1);
    void buildHeader();
    void buildPatternBar();
    void buildVoiceRows();
    void buildRandomPanel(int voice);
    void buildValueSection();
    void buildMaster();
    void buildSoundPanel(int voice);
    CBitmap* bitmap(int number);
    CZUTextDisplay* caption(const brakka_layout::Rect& r, const char* text, short justification,
                            int voiceSet = -1, long id = -1);
    void releaseFrame();

    // Shows the engine's value of a parameter.
    void showParameter(int tag, float value);
    void showPattern(int current, int pending);
    void showHighlight(int tag);
    void loadNoteRow(int voice);
    void showNoteMask(int voice, uint32_t mask);
    void loadValueRow();
    void showRowEnable();
    void showVelocityView();
    void showSequenceLength();
    void showTempo();
    void applyPendingChanges();

    Brakka* engine;
    CHighlightFrame* frame = nullptr;
    CRirezariResource* captionFont = nullptr;
    CRirezariResource* numberFont = nullptr;
    std::vector<CBitmap*> bitmaps; // loaded at open, released at close
    std::vector<CView*> voiceSets[kNumVoices];
    CZUBrakkaMultiButton* noteRows[kNumVoices] = {};
    CZUBrakkaMultiSlider* valueRow = nullptr;
    CVerticalSwitch* voiceSelector = nullptr;
    CZUBrakkaPatternSelector* patternSelector = nullptr;
    CMovieButton* rowEnable = nullptr;
    CZUTextDisplay* valueCaption = nullptr;
    CZUNumerical* tempoReadout = nullptr;

    CControl* zoomMenu = nullptr;
    double zoom = 0; // 0 until the settings were read

    int currentVoice = 0;
    int currentPattern = 0;
    int modTarget = -1;
    // The voice selector gesture: whether it changed the voice (a click on the selected voice
    // does not, and returns the value row to the velocities).
    bool voiceChangedInGesture = false;

    // Lock-free record of the engine's notifications, applied by idle().
    std::atomic<bool> openFlag{false};
    std::atomic<int> pendingStep{-1};
    std::atomic<uint32_t> noteMask[kNumVoices];
    std::atomic<uint32_t> noteDirty{0};  // voices whose mask changed
    std::atomic<uint32_t> noteReload{0}; // voices whose row the engine changed without telling
    static constexpr int kTagWords = (kNumParameters + 63) / 64;
    std::atomic<uint64_t> parameterDirty[kTagWords];
    std::atomic<uint64_t> modRowDirty[kTagWords];
    std::atomic<bool> velocityRowDirty{false};
    std::atomic<bool> allRowsDirty{false};
    // Pattern: current in bits 0..7, pending in bits 8..15, a change count above.
    std::atomic<uint32_t> patternState{0};
    uint32_t shownPatternState = 0;
    std::atomic<int> highlightTag{-1};
    std::atomic<bool> highlightDirty{false};
};
