#include "aeffguieditor.h"

#include "audioeffect.h"

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {}

bool AEffGUIEditor::getRect(ERect** rectOut) {
    if (!rectOut) return false;
    *rectOut = &rect;
    return true;
}

bool AEffGUIEditor::open(void* parentWindow) {
    systemWindow = parentWindow;
    return parentWindow != nullptr;
}

void AEffGUIEditor::close() {
    systemWindow = nullptr;
}

bool AEffGUIEditor::setKnobMode(VstInt32 mode) {
    if (mode < 0 || mode > 2) return false;
    knobMode = mode;
    return true;
}

void AEffGUIEditor::beginEdit(VstInt32 index) {
    if (effect) effect->beginEdit(index);
}

void AEffGUIEditor::endEdit(VstInt32 index) {
    if (effect) effect->endEdit(index);
}
