// Everything the engine tells the editor. The engine holds a pointer to this interface that
// stays null while no editor exists, so every call is skipped then. Calls may arrive on the
// audio thread (current step, row and pattern notifications): an implementation must not block.
#pragma once

class BrakkaEditorInterface {
public:
    virtual ~BrakkaEditorInterface() = default;

    // The step the sequencer is on now.
    virtual void setCurrentStep(int step) = 0;
    // The note row of a voice changed; row points to its 32 bytes for the duration of the call.
    virtual void noteRowChanged(int voice, const unsigned char* row) = 0;
    // A modulation row changed (tag), the velocity row (-1) or all rows (652).
    virtual void modRowChanged(int tag) = 0;
    // The current pattern became p.
    virtual void patternChanged(int pattern) = 0;
    // Pattern p waits for the end of the playing pattern.
    virtual void setPendingPattern(int pattern) = 0;
    // MIDI learn marks or unmarks the control of a parameter.
    virtual void highlightControl(int tag, bool on) = 0;
    // A parameter took a new normalized value.
    virtual void setParameter(int tag, float value) = 0;
};
