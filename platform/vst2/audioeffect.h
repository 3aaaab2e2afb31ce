// Base class of a plug-in: owns the AEffect record the host sees, turns the host's calls into
// virtual member calls and wraps the host callback. Everything a plug-in does not override
// answers the way hosts expect of a VST 2.4 plug-in.
#pragma once

#include "aeffectx.h"

class AEffEditor;
class AudioEffect;

// Defined by the plug-in: builds one instance for the given host callback (null on failure).
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect(); // deletes the editor

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // Decodes one host call. Arguments the host got wrong (null pointers, indexes out of range)
    // are refused here, so the virtuals below only ever see valid ones.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    // ---- Lifecycle
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }
    virtual void setBlockSize(VstInt32 newBlockSize) { blockSize = newBlockSize; }

    // ---- Audio
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames);
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        VstInt32 /*sampleFrames*/) {}

    // ---- Parameters (index 0..numParams-1, value 0..1)
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
    // Sets the parameter, then reports the change to the host so it can record it.
    virtual void setParameterAutomated(VstInt32 index, float value);
    virtual void getParameterLabel(VstInt32 /*index*/, char* label) { *label = 0; }
    virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { *text = 0; }
    virtual void getParameterName(VstInt32 /*index*/, char* text) { *text = 0; }

    // ---- Programs
    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name) { *name = 0; }
    // isPreset true: the current program; false: the whole bank. *data stays owned by the
    // plug-in and valid until the next call.
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/ = false) { return 0; }
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/ = false) {
        return 0;
    }

    // ---- Declarations to the host (call from the constructor)
    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs);
    virtual void setNumOutputs(VstInt32 outputs);
    virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state = true) {
        setFlag(effFlagsCanDoubleReplacing, state);
    }
    virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
    virtual void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
    virtual void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay < 0 ? 0 : delay; }
    // Takes ownership of the editor (null removes it) and announces it in the flags.
    virtual void setEditor(AEffEditor* newEditor);

    // ---- Host services
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    // Gesture brackets around a user edit of parameter index.
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);

    // ---- Accessors
    AEffect* getAeffect() { return &cEffect; }
    AEffEditor* getEditor() { return editor; }
    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }
    VstInt32 getNumPrograms() const { return numPrograms; }
    VstInt32 getNumParams() const { return numParams; }
    audioMasterCallback getAudioMaster() const { return audioMaster; }

    // Entry points stored in the AEffect record.
    static VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                         VstIntPtr value, void* ptr, float opt);
    static void setParameterClass(AEffect* e, VstInt32 index, float value);
    static float getParameterClass(AEffect* e, VstInt32 index);
    static void processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                      VstInt32 sampleFrames);
    static void processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                            VstInt32 sampleFrames);

protected:
    bool isParameterIndex(VstInt32 index) const { return index >= 0 && index < numParams; }
    bool isProgramIndex(VstIntPtr index) const { return index >= 0 && index < numPrograms; }
    // Calls the host; 0 when there is none.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setFlag(VstInt32 flag, bool state);

    float sampleRate = 44100.0f;
    AEffEditor* editor = nullptr;
    audioMasterCallback audioMaster = nullptr;
    VstInt32 numPrograms = 0;
    VstInt32 numParams = 0;
    VstInt32 curProgram = 0;
    VstInt32 blockSize = 1024;
    AEffect cEffect;
};

// Work buffer the dispatcher hands to the plug-in for a string answer before copying it to the
// host: far larger than any documented host buffer, so a plug-in that writes a little too much
// still stays inside it.
constexpr size_t kVstAnswerBufferSize = 256;

// A parameter value made safe for the plug-in: NaN is refused (false), the rest clamped to 0..1.
bool vstSanitizeParameterValue(float& value);
// Copies a zero-terminated answer into a host buffer of capacity bytes (terminator included),
// writing no more than the answer needs.
void vstCopyString(char* dst, const char* src, size_t capacity);
