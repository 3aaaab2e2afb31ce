#include "audioeffect.h"

#include "aeffeditor.h"

#include <climits>
#include <cmath>
#include <cstring>

namespace {

// Parameter strings are nominally 8 bytes, but plug-ins write a ninth terminator and hosts
// provide 64 or more; pass on what the plug-in wrote, up to this many bytes.
constexpr size_t kParamStringCapacity = kVstMaxLabelLen;

AudioEffect* effectOf(AEffect* e) {
    return e ? static_cast<AudioEffect*>(e->object) : nullptr;
}

} // namespace

bool vstSanitizeParameterValue(float& value) {
    if (std::isnan(value)) return false;
    if (value < 0.0f) value = 0.0f;
    if (value > 1.0f) value = 1.0f;
    return true;
}

void vstCopyString(char* dst, const char* src, size_t capacity) {
    if (!dst || capacity == 0) return;
    if (!src) {
        dst[0] = 0;
        return;
    }
    const size_t n = strnlen(src, capacity - 1);
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms < 0 ? 0 : numPrograms),
      numParams(numParams < 0 ? 0 : numParams) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    // The accumulating call is long gone from hosts; any that still uses it gets replacing.
    cEffect.process = processClassReplacing;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = this->numPrograms;
    cEffect.numParams = this->numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect() {
    delete editor;
    editor = nullptr;
    cEffect.object = nullptr;
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

void AudioEffect::setNumInputs(VstInt32 inputs) {
    cEffect.numInputs = inputs < 0 ? 0 : inputs;
}

void AudioEffect::setNumOutputs(VstInt32 outputs) {
    cEffect.numOutputs = outputs < 0 ? 0 : outputs;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    if (newEditor != editor) delete editor;
    editor = newEditor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
    for (VstInt32 ch = 0; ch < cEffect.numOutputs; ++ch)
        if (outputs[ch]) std::memset(outputs[ch], 0, sizeof(float) * size_t(sampleFrames));
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    if (!isParameterIndex(index) || !vstSanitizeParameterValue(value)) return;
    setParameter(index, value);
    // No lock is held here: a host that answers by calling setParameter again simply re-enters.
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    const VstIntPtr version = callHost(audioMasterVersion);
    return version > 0 && version <= INT_MAX ? static_cast<VstInt32>(version) : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
    callHost(audioMasterIdle);
}

bool AudioEffect::beginEdit(VstInt32 index) {
    if (!isParameterIndex(index)) return false;
    return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffect::endEdit(VstInt32 index) {
    if (!isParameterIndex(index)) return false;
    return callHost(audioMasterEndEdit, index) != 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    char* text = static_cast<char*>(ptr);

    switch (opcode) {
    case effOpen:
        open();
        return 0;

    case effClose:
        // A host may close the plug-in with the editor still open.
        if (editor && editor->isOpen()) editor->close();
        close();
        delete this; // nothing of this object may be touched after this line
        return 1;

    case effSetProgram:
        if (!isProgramIndex(value)) return 0;
        setProgram(static_cast<VstInt32>(value));
        return 0;

    case effGetProgram:
        return getProgram();

    case effSetProgramName: {
        if (!text) return 0;
        // The host's text may fill its whole 24-byte field without a terminator.
        char name[kVstMaxProgNameLen + 1] = {};
        std::memcpy(name, text, strnlen(text, kVstMaxProgNameLen));
        setProgramName(name);
        return 0;
    }

    case effGetProgramName: {
        if (!text) return 0;
        char answer[kVstAnswerBufferSize] = {};
        getProgramName(answer);
        answer[kVstAnswerBufferSize - 1] = 0;
        vstCopyString(text, answer, kVstMaxProgNameLen);
        return 1;
    }

    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName: {
        if (!text) return 0;
        if (!isParameterIndex(index)) {
            text[0] = 0;
            return 0;
        }
        char answer[kVstAnswerBufferSize] = {};
        if (opcode == effGetParamLabel)
            getParameterLabel(index, answer);
        else if (opcode == effGetParamDisplay)
            getParameterDisplay(index, answer);
        else
            getParameterName(index, answer);
        answer[kVstAnswerBufferSize - 1] = 0;
        vstCopyString(text, answer, kParamStringCapacity);
        return 0;
    }

    case effSetSampleRate:
        if (!std::isfinite(opt) || !(opt > 0.0f)) return 0;
        setSampleRate(opt);
        return 0;

    case effSetBlockSize:
        if (value <= 0 || value > INT_MAX) return 0;
        setBlockSize(static_cast<VstInt32>(value));
        return 0;

    case effMainsChanged:
        if (value)
            resume();
        else
            suspend();
        return 0;

    case effEditGetRect: {
        if (!ptr) return 0;
        ERect** out = static_cast<ERect**>(ptr);
        *out = nullptr;
        ERect* rect = nullptr;
        if (!editor || !editor->getRect(&rect) || !rect) return 0;
        *out = rect;
        return 1;
    }

    case effEditOpen:
        if (!editor || !ptr) return 0;
        // Some hosts open twice without closing in between: start from a closed editor.
        if (editor->isOpen()) editor->close();
        return editor->open(ptr) ? 1 : 0;

    case effEditClose:
        if (!editor) return 0;
        if (editor->isOpen()) editor->close();
        return 1;

    case effEditIdle:
        if (!editor) return 0;
        if (editor->isOpen()) editor->idle();
        return 1;

    case effIdentify:
        return kEffectIdentify;

    case effGetChunk: {
        if (!ptr) return 0;
        void** out = static_cast<void**>(ptr);
        *out = nullptr;
        void* data = nullptr;
        const VstInt32 size = getChunk(&data, index != 0);
        if (!data || size <= 0) return 0;
        *out = data;
        return size;
    }

    case effSetChunk:
        if (!ptr || value <= 0 || value > INT_MAX) return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);

    default:
        return 0;
    }
}

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt) {
    AudioEffect* effect = effectOf(e);
    return effect ? effect->dispatcher(opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
    AudioEffect* effect = effectOf(e);
    if (!effect || !effect->isParameterIndex(index) || !vstSanitizeParameterValue(value)) return;
    effect->setParameter(index, value);
}

float AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
    AudioEffect* effect = effectOf(e);
    if (!effect || !effect->isParameterIndex(index)) return 0.0f;
    return effect->getParameter(index);
}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                        VstInt32 sampleFrames) {
    AudioEffect* effect = effectOf(e);
    if (!effect || sampleFrames <= 0 || !outputs) return;
    effect->processReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                              VstInt32 sampleFrames) {
    AudioEffect* effect = effectOf(e);
    if (!effect || sampleFrames <= 0 || !outputs) return;
    effect->processDoubleReplacing(inputs, outputs, sampleFrames);
}
