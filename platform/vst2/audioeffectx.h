// Version 2 additions to the plug-in base: events, time information, pin and parameter
// properties, names and capability queries, and the host services that go with them.
#pragma once

#include "audioeffect.h"

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    ~AudioEffectX() override = default;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    // Asks the host for MIDI events, as hosts expect on every resume.
    void resume() override;

    // ---- Events (audio thread, just before processReplacing of the same block)
    virtual VstInt32 processEvents(VstEvents* /*events*/) { return 0; }

    // ---- Parameters
    virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
    virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
    virtual bool getParameterProperties(VstInt32 /*index*/, VstParameterProperties* /*p*/) {
        return false;
    }

    // ---- Programs
    virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/) {
        return false;
    }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }

    // ---- Pins and speakers
    virtual bool getInputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
        return false;
    }
    virtual bool getOutputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
        return false;
    }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* /*input*/,
                                       VstSpeakerArrangement* /*output*/) {
        return false;
    }
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** /*input*/,
                                       VstSpeakerArrangement** /*output*/) {
        return false;
    }

    // ---- Identity and capabilities
    virtual bool getEffectName(char* /*name*/) { return false; }
    virtual bool getVendorString(char* /*text*/) { return false; }
    virtual bool getProductString(char* /*text*/) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32 /*index*/, VstIntPtr /*value*/, void* /*ptr*/,
                                     float /*opt*/) {
        return 0;
    }
    // 1 yes, -1 no, 0 don't know.
    virtual VstInt32 canDo(char* /*text*/) { return 0; }
    virtual VstPlugCategory getPlugCategory();
    virtual VstInt32 getVstVersion() { return kVstVersion; }
    virtual VstInt32 getNumMidiInputChannels() { return 0; }
    virtual VstInt32 getNumMidiOutputChannels() { return 0; }
    virtual VstInt32 getTailSize() { return 0; }

    // ---- Processing state
    virtual bool setBypass(bool /*onOff*/) { return false; }
    virtual bool setProcessPrecision(VstInt32 /*precision*/) { return false; }
    virtual VstInt32 startProcess() { return 0; }
    virtual VstInt32 stopProcess() { return 0; }

    // ---- Host services
    // The host's time information with at least the fields named in filter (kVst...Valid
    // bits), or null when the host has none. Valid until the next call.
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
    // Hands events to the host (MIDI out); call from processReplacing. True if taken.
    virtual bool sendVstEventsToHost(VstEvents* events);
    virtual bool wantEvents(VstInt32 filter = 1);
    // After changing inputs, outputs or initial delay. True if the host accepted.
    virtual bool ioChanged();
    // Program names or the parameter set changed: the host re-reads them.
    virtual bool updateDisplay();
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    // Ask the host for its current rate / maximum block size and store them when it answers.
    virtual double updateSampleRate();
    virtual VstInt32 updateBlockSize();
    virtual VstInt32 getCurrentProcessLevel();
    // 1 yes, -1 no, 0 don't know.
    virtual VstInt32 canHostDo(char* text);
};
