// zu_paramManager: a table of named parameters keyed by an integer tag.
//
// Every parameter has three faces: the VST value (normalized 0..1, what a host automates and
// stores), the natural value (in the parameter's own unit, what the user sees) and the DSP value
// (what the sound engine consumes). The value law of each parameter (zu_paramTypes) converts
// between them. The manager also names parameters, formats and parses their values, steps and
// randomizes them, and keeps snapshots ("states") of groups of parameters.
//
// Threading: all parameters are created while the owner is constructed. After that only the
// stored values change. VST value, natural value and auxiliary value are single atomic words, so
// the audio thread may read DSP values while another thread writes new values. Lookups of a tag
// that was never created never insert anything: they answer a neutral default (0, empty text)
// and change nothing.
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

enum zu_paramTypes {
    kParamLinear = 0,
    kParamOnOff = 1,
    kParamPercent = 2,
    kParamFloat = 3,
    kParamExponential = 4,
    kParamDecibel = 5,
    kParamInteger = 6,
    kParamBeat = 7,
    kParamSyncTime = 8,
    kParamSyncFreq = 9,
    kParamSyncTimeNorm = 10,
    kParamSyncFreqNorm = 11,
    kParamNote = 12
};

// A 1024-point lookup table for the exponential and decibel laws. points holds numPoints + 1
// floats: the last point is repeated so that interpolation at the very top stays inside.
// lastX/lastY are scratch fields kept for layout compatibility; lookups leave them alone so that
// concurrent readers never write shared memory.
struct _table_struct {
    int numPoints;
    float* points;
    float lastX;
    float lastY;
};

// One snapshot entry: a tag and its VST value.
struct _pr {
    unsigned int tag;
    float value;
};

// A complete picture of a manager: the first list holds (tag, VST value) of every parameter in
// ascending tag order, the following lists are copies of the snapshots.
class paramMemento {
public:
    std::vector<std::vector<_pr>> lists;
};

// Lengths in beats (quarter notes) of the sixteen metrical values.
extern const float gBeatMults[16];
// Note names of the twelve pitch classes, starting at C.
extern const char* const gNoteNames[12];

class zu_paramManager {
public:
    // Display strings of the sixteen metrical values, each five characters wide.
    static const char* const beatTimeStr[16];
    // Highest tag the manager accepts; tags index a dense table.
    static constexpr long kMaxTag = 65535;
    static constexpr int kTablePoints = 1024;

    zu_paramManager();
    virtual ~zu_paramManager();

    zu_paramManager(const zu_paramManager&) = delete;
    zu_paramManager& operator=(const zu_paramManager&) = delete;

    virtual void newParameter(long tag, const char* longName, const char* shortName,
                              const char* units, float min, float max, float def,
                              zu_paramTypes type);
    virtual float getVSTvalue(long tag);
    virtual void setVSTvalue(long tag, float v);
    virtual float getNaturalValue(long tag);
    virtual void setNaturalValue(long tag, float n);
    virtual void incrementNaturalValue(long tag);
    virtual void decrementNaturalValue(long tag);
    virtual void setAuxValue(long tag, long aux);
    virtual void setHostSynced(long tag, bool synced);
    virtual void setRandomizeable(long tag, bool randomizeable);
    virtual bool canRandomize(long tag);
    virtual void randomize(long tag);
    virtual float getDSPValue(long tag);
    // The DSP value the tag would have with VST value v stored; changes nothing.
    virtual float dspValueOfVSTvalue(long tag, float v);
    virtual float getModulatedDSPValue(long tag, float offset);
    virtual float getDefaultValue(long tag);
    virtual float getMinimumValue(long tag);
    virtual float getMaximumValue(long tag);
    virtual long getAuxValue(long tag);
    virtual zu_paramTypes getType(long tag);
    virtual bool getHostSynced(long tag);
    virtual void getName(long tag, char* dst, int len);
    virtual std::string getName(long tag);
    virtual void getUnitsName(long tag, char* dst, int len);
    virtual void getValueString(long tag, char* dst, int len);
    virtual void getValueStringFromNaturalValue(long tag, char* dst, float n, int len);
    virtual void getValueStringFromVSTvalue(long tag, char* dst, float v, int len);
    virtual void getVSTvalueString(long tag, char* dst);
    virtual void getTextEditString(long tag, char* dst, int len);
    virtual float VSTvalueFromNaturalValue(long tag, float n);
    virtual float naturalValueFromVSTvalue(long tag, float v);
    virtual float dspValueFromNaturalValue(long tag, float n);
    // The gain of a level in dB (the DSP value of a decibel parameter): 10^(dB / 20).
    virtual float decibelGain(float dB);
    virtual bool naturalValueFromString(long tag, const char* text, float& n);
    virtual long getParameterCount();
    virtual float getControlValue(long tag);
    virtual bool controlUsesNaturalValue(long tag);
    virtual void getAllValueStrings(long tag, std::vector<std::string>& strings);
    virtual int createState(const std::set<unsigned int>& tags);
    virtual void saveState(int index);
    virtual void restoreState(int index);
    virtual void floatToTimeStr(char* dst, float ms, int len);
    virtual bool matchMetricalStr(const char* text, int& index);

    // Returns a new memento; the caller owns it and deletes it.
    paramMemento* createMemento();
    // Applies the memento's values and replaces the snapshots by its copies. Null does nothing.
    void setMemento(const paramMemento* memento);
    // The fifteen metrical names without blanks, in index order.
    static const std::vector<std::string>& getMetricalNames();

    // True when newParameter created this tag.
    bool hasParameter(long tag) const { return find(tag) != nullptr; }
    // Number of snapshots.
    int getStateCount() const { return static_cast<int>(mStates.size()); }

protected:
    struct Param {
        std::atomic<float> vst{0.0f};
        std::atomic<float> natural{0.0f};
        std::atomic<long> aux{0};
        std::atomic<bool> randomizeable{true};
        float min = 0.0f;
        float max = 0.0f;
        float def = 0.0f;
        zu_paramTypes type = kParamLinear;
        std::string longName;
        std::string shortName;
        std::string units;
        std::vector<float> tablePoints;
        _table_struct table{0, nullptr, 0.0f, 0.0f};
    };

    // The parameter of a tag, or null for a tag never created. Never inserts.
    const Param* find(long tag) const {
        if (tag < 0 || tag >= static_cast<long>(mParams.size())) return nullptr;
        return mParams[static_cast<size_t>(tag)].get();
    }
    Param* find(long tag) {
        if (tag < 0 || tag >= static_cast<long>(mParams.size())) return nullptr;
        return mParams[static_cast<size_t>(tag)].get();
    }

    // Reads a lookup table at x, with x limited to [0, 1] (NaN reads the bottom point).
    static float readTable(const _table_struct& table, float x);
    // The synced flag of a syncable parameter (false for every other law).
    static bool isSynced(const Param& p);
    // Index into a table of count entries: x truncated and limited to [0, count - 1]; NaN gives 0.
    static int safeIndex(float x, int count);
    // Integer part of x (toward zero), limited to the int range; NaN gives 0.
    static int safeTrunc(float x);
    // x limited to [lo, hi]; NaN gives lo.
    static float clampTo(float x, float lo, float hi);
    // Copies at most len characters of src and terminates at dst[len] (the buffer holds
    // len + 1). A value-string field of len bytes, its terminator included, takes len - 1.
    static void copyCut(char* dst, const char* src, int len);

private:
    static void buildExpTable(Param& p);
    static void buildDecibelTable(Param& p);

    // Indexed by tag; null where no parameter was created.
    std::vector<std::unique_ptr<Param>> mParams;
    long mCount = 0;
    std::vector<std::vector<_pr>> mStates;
};
