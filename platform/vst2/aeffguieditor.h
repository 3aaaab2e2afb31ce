// Base of a graphical editor. It keeps the editor rectangle, the parent window and the knob mode
// and forwards edit gestures to the effect; the subclass creates and draws its own view inside
// the parent window, so nothing here depends on a GUI toolkit.
#pragma once

#include "aeffeditor.h"

class AEffGUIEditor : public AEffEditor {
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override = default;

    bool getRect(ERect** rect) override;
    bool open(void* parentWindow) override;
    void close() override;
    void idle() override {}

    bool setKnobMode(VstInt32 mode) override;
    VstInt32 getKnobMode() const { return knobMode; }

    // A parameter changed in the effect; the subclass shows the new value.
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
    // Gesture brackets around a user edit, passed on to the host through the effect.
    virtual void beginEdit(VstInt32 index);
    virtual void endEdit(VstInt32 index);

    void* getSystemWindow() const { return systemWindow; }

protected:
    ERect rect{0, 0, 0, 0};
    VstInt32 knobMode = 0;
};
