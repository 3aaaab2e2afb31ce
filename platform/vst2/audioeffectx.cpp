#include "audioeffectx.h"

#include "aeffeditor.h"

#include <climits>
#include <cstring>

namespace {

// Copies the host's text into a terminated work buffer, so the plug-in never reads past a host
// string that lacks its terminator and never writes into the host's memory.
void copyHostText(char (&dst)[kVstAnswerBufferSize], const char* src) {
    const size_t n = strnlen(src, kVstAnswerBufferSize - 1);
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

} // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms,
                           VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

void AudioEffectX::resume() {
    wantEvents(1);
}

VstPlugCategory AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
    if (!events) return false;
    return callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

bool AudioEffectX::wantEvents(VstInt32 filter) {
    return callHost(audioMasterWantMidi, 0, filter) != 0;
}

bool AudioEffectX::ioChanged() {
    return callHost(audioMasterIOChanged) != 0;
}

bool AudioEffectX::updateDisplay() {
    return callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

double AudioEffectX::updateSampleRate() {
    const VstIntPtr rate = callHost(audioMasterGetSampleRate);
    if (rate > 0 && rate <= INT_MAX) sampleRate = static_cast<float>(rate);
    return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize() {
    const VstIntPtr size = callHost(audioMasterGetBlockSize);
    if (size > 0 && size <= INT_MAX) blockSize = static_cast<VstInt32>(size);
    return blockSize;
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
    return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 AudioEffectX::canHostDo(char* text) {
    if (!text) return 0;
    return static_cast<VstInt32>(callHost(audioMasterCanDo, 0, 0, text));
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    char* text = static_cast<char*>(ptr);

    switch (opcode) {
    case effProcessEvents:
        if (!ptr) return 0;
        return processEvents(static_cast<VstEvents*>(ptr));

    case effCanBeAutomated:
        if (!isParameterIndex(index)) return 0;
        return canParameterBeAutomated(index) ? 1 : 0;

    case effString2Parameter: {
        if (!text || !isParameterIndex(index)) return 0;
        char input[kVstAnswerBufferSize];
        copyHostText(input, text);
        return string2parameter(index, input) ? 1 : 0;
    }

    case effGetProgramNameIndexed: {
        if (!text || !isProgramIndex(index)) return 0;
        char answer[kVstAnswerBufferSize] = {};
        const bool ok = getProgramNameIndexed(static_cast<VstInt32>(value), index, answer);
        if (!ok) return 0;
        answer[kVstAnswerBufferSize - 1] = 0;
        vstCopyString(text, answer, kVstMaxProgNameLen);
        return 1;
    }

    case effGetInputProperties:
    case effGetOutputProperties: {
        if (!ptr || index < 0) return 0;
        // The plug-in fills a copy; the host's record changes only when it answers yes.
        VstPinProperties pin;
        std::memcpy(&pin, ptr, sizeof(pin));
        const bool ok = opcode == effGetInputProperties ? getInputProperties(index, &pin)
                                                        : getOutputProperties(index, &pin);
        if (!ok) return 0;
        pin.label[kVstMaxLabelLen - 1] = 0;
        pin.shortLabel[kVstMaxShortLabelLen - 1] = 0;
        std::memcpy(ptr, &pin, sizeof(pin));
        return 1;
    }

    case effGetPlugCategory:
        return getPlugCategory();

    case effSetSpeakerArrangement:
        if (!ptr || !value) return 0;
        return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                     static_cast<VstSpeakerArrangement*>(ptr))
                   ? 1
                   : 0;

    case effGetSpeakerArrangement:
        if (!ptr || !value) return 0;
        return getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                     static_cast<VstSpeakerArrangement**>(ptr))
                   ? 1
                   : 0;

    case effSetBypass:
        return setBypass(value != 0) ? 1 : 0;

    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString: {
        if (!text) return 0;
        char answer[kVstAnswerBufferSize] = {};
        bool ok;
        size_t capacity;
        if (opcode == effGetEffectName) {
            ok = getEffectName(answer);
            capacity = kVstMaxEffectNameLen;
        } else if (opcode == effGetVendorString) {
            ok = getVendorString(answer);
            capacity = kVstMaxVendorStrLen;
        } else {
            ok = getProductString(answer);
            capacity = kVstMaxProductStrLen;
        }
        if (!ok) return 0;
        answer[kVstAnswerBufferSize - 1] = 0;
        vstCopyString(text, answer, capacity);
        return 1;
    }

    case effGetVendorVersion:
        return getVendorVersion();

    case effVendorSpecific:
        // Free-form: ptr may legitimately be null, the plug-in decides.
        return vendorSpecific(index, value, ptr, opt);

    case effCanDo: {
        if (!text) return 0;
        char input[kVstAnswerBufferSize];
        copyHostText(input, text);
        return canDo(input); // widened with its sign: -1 stays -1
    }

    case effGetTailSize:
        return getTailSize();

    case effGetParameterProperties: {
        if (!ptr || !isParameterIndex(index)) return 0;
        VstParameterProperties properties;
        std::memcpy(&properties, ptr, sizeof(properties));
        if (!getParameterProperties(index, &properties)) return 0;
        properties.label[kVstMaxLabelLen - 1] = 0;
        properties.shortLabel[kVstMaxShortLabelLen - 1] = 0;
        properties.categoryLabel[kVstMaxCategLabelLen - 1] = 0;
        std::memcpy(ptr, &properties, sizeof(properties));
        return 1;
    }

    case effGetVstVersion:
        return getVstVersion();

    case effEditKeyDown:
    case effEditKeyUp: {
        if (!editor) return 0;
        // opt carries the modifier bits as a float; anything else (NaN included) means none.
        const unsigned char modifiers =
            (opt >= 0.0f && opt < 256.0f) ? static_cast<unsigned char>(opt) : 0;
        VstKeyCode key{index, static_cast<unsigned char>(value), modifiers};
        const bool used = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        return used ? 1 : 0;
    }

    case effSetEditKnobMode:
        if (editor) editor->setKnobMode(static_cast<VstInt32>(value));
        return 0;

    case effGetCurrentMidiProgram:
        return -1; // no MIDI programs

    case effBeginSetProgram:
        return beginSetProgram() ? 1 : 0;

    case effEndSetProgram:
        return endSetProgram() ? 1 : 0;

    case effStartProcess:
        return startProcess();

    case effStopProcess:
        return stopProcess();

    case effSetProcessPrecision:
        return setProcessPrecision(static_cast<VstInt32>(value)) ? 1 : 0;

    case effGetNumMidiInputChannels:
        return getNumMidiInputChannels();

    case effGetNumMidiOutputChannels:
        return getNumMidiOutputChannels();

    default:
        break;
    }
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
}
