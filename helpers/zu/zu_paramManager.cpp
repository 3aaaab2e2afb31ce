#include "zu_paramManager.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

const float gBeatMults[16] = {0.125f,      1.0f / 6.0f, 0.25f, 1.0f / 3.0f, 0.375f, 0.5f,
                              2.0f / 3.0f, 0.75f,       1.0f,  4.0f / 3.0f, 1.5f,   2.0f,
                              8.0f / 3.0f, 3.0f,        4.0f,  4.0f};

const char* const gNoteNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                    "F#", "G",  "G#", "A",  "A#", "B"};

const char* const zu_paramManager::beatTimeStr[16] = {
    "1/32 ", "1/16T", "1/16 ", "1/8 T", "1/16.", "1/8  ", "1/4 T", "1/8. ",
    "1/4  ", "1/2 T", "1/4. ", "1/2  ", "1/1 T", "1/2. ", "1/1  ", "1/1  "};

namespace {

const int kNumMetricalNames = 15;
const char* const kMetricalNames[kNumMetricalNames] = {"1/32", "1/16T", "1/16", "1/8T", "1/16.",
                                                       "1/8",  "1/4T",  "1/8.", "1/4",  "1/2T",
                                                       "1/4.", "1/2",   "1/1T", "1/2.", "1/1"};

// The dB law: a log curve that reaches hi at the top and passes lo a little above zero.
const float kDecibelSpan = 44.0f;
const float kDecibelOffset = 0.0131f;
const float kDecibelHeadroom = 0.25f;

// How far inside its span (in index units) the VST value of a synced frequency index is put.
const float kSyncedIndexNudge = 1e-5f;

// Work buffer of the value formatter; large enough for any float printed with the formats used.
const int kWorkLen = 60;

// An integer range listed by getAllValueStrings is cut to this many entries.
const long kMaxValueStrings = 65536;

bool isSyncType(zu_paramTypes t) {
    return t >= kParamSyncTime && t <= kParamSyncFreqNorm;
}

} // namespace

zu_paramManager::zu_paramManager() = default;
zu_paramManager::~zu_paramManager() = default;

// ---------------------------------------------------------------------------------------------
// Small helpers

float zu_paramManager::clampTo(float x, float lo, float hi) {
    if (std::isnan(x)) return lo;
    if (x < lo) return lo;
    if (x > hi) return hi;
    return x;
}

int zu_paramManager::safeTrunc(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483520.0f) return std::numeric_limits<int>::max();
    if (x <= -2147483520.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}

int zu_paramManager::safeIndex(float x, int count) {
    if (std::isnan(x) || x < 0.0f) return 0;
    if (x >= static_cast<float>(count)) return count - 1;
    int i = static_cast<int>(x);
    return i < count ? i : count - 1;
}

bool zu_paramManager::isSynced(const Param& p) {
    return isSyncType(p.type) && p.aux.load(std::memory_order_relaxed) != 0;
}

float zu_paramManager::readTable(const _table_struct& table, float x) {
    if (!table.points || table.numPoints < 1) return 0.0f;
    x = clampTo(x, 0.0f, 1.0f);
    float pos = static_cast<float>(table.numPoints - 1) * x;
    int i = static_cast<int>(pos);
    if (i > table.numPoints - 1) i = table.numPoints - 1;
    float f = pos - static_cast<float>(i);
    return table.points[i] * (1.0f - f) + table.points[i + 1] * f;
}

void zu_paramManager::buildExpTable(Param& p) {
    const int count = kTablePoints;
    p.tablePoints.assign(count + 1, 0.0f);
    double lo = p.min, hi = p.max;
    for (int i = 0; i < count; ++i)
        p.tablePoints[i] = static_cast<float>(lo * std::pow(hi / lo, i / double(count - 1)));
    p.tablePoints[count] = p.tablePoints[count - 1];
    p.table = {count, p.tablePoints.data(), 0.0f, 0.0f};
}

void zu_paramManager::buildDecibelTable(Param& p) {
    const int count = kTablePoints;
    p.tablePoints.assign(count + 1, 0.0f);
    p.tablePoints[0] = p.min;
    for (int i = 1; i < count - 1; ++i) {
        double x = i / double(count - 1) + kDecibelOffset;
        p.tablePoints[i] =
            static_cast<float>(kDecibelSpan * std::log10(x) + (double(p.max) - kDecibelHeadroom));
    }
    p.tablePoints[count - 1] = p.max;
    p.tablePoints[count] = p.tablePoints[count - 1];
    p.table = {count, p.tablePoints.data(), 0.0f, 0.0f};
}

void zu_paramManager::copyCut(char* dst, const char* src, int len) {
    if (!dst || len < 0) return;
    int i = 0;
    for (; i < len && src[i]; ++i)
        dst[i] = src[i];
    for (; i <= len; ++i)
        dst[i] = 0;
}

// ---------------------------------------------------------------------------------------------
// Creation

void zu_paramManager::newParameter(long tag, const char* longName, const char* shortName,
                                   const char* units, float min, float max, float def,
                                   zu_paramTypes type) {
    if (tag < 0 || tag > kMaxTag) return;
    if (type < kParamLinear || type > kParamNote) type = kParamLinear;
    if (tag >= static_cast<long>(mParams.size())) mParams.resize(static_cast<size_t>(tag) + 1);
    std::unique_ptr<Param>& slot = mParams[static_cast<size_t>(tag)];
    if (!slot) ++mCount;
    slot.reset(new Param);
    Param& p = *slot;

    p.longName = longName ? longName : "";
    p.shortName = shortName ? shortName : "";
    p.units = units ? units : "";
    p.min = min;
    p.max = max;
    p.def = def;
    p.type = type;
    p.randomizeable = true;

    if (type == kParamExponential || type == kParamSyncFreq || type == kParamSyncFreqNorm)
        buildExpTable(p);
    else if (type == kParamDecibel)
        buildDecibelTable(p);

    if (isSyncType(type)) setHostSynced(tag, false);
    setNaturalValue(tag, def);
}

long zu_paramManager::getParameterCount() {
    return mCount;
}

// ---------------------------------------------------------------------------------------------
// Values

float zu_paramManager::getVSTvalue(long tag) {
    const Param* p = find(tag);
    return p ? p->vst.load(std::memory_order_relaxed) : 0.0f;
}

void zu_paramManager::setVSTvalue(long tag, float v) {
    Param* p = find(tag);
    if (!p) return;
    // A NaN would poison every later conversion; it becomes the bottom of the range.
    if (std::isnan(v)) v = 0.0f;
    p->vst.store(v, std::memory_order_relaxed);
    p->natural.store(naturalValueFromVSTvalue(tag, v), std::memory_order_relaxed);
}

float zu_paramManager::getNaturalValue(long tag) {
    const Param* p = find(tag);
    return p ? p->natural.load(std::memory_order_relaxed) : 0.0f;
}

void zu_paramManager::setNaturalValue(long tag, float n) {
    Param* p = find(tag);
    if (!p) return;
    if (std::isnan(n)) n = p->min;
    p->natural.store(n, std::memory_order_relaxed);
    p->vst.store(VSTvalueFromNaturalValue(tag, n), std::memory_order_relaxed);
}

void zu_paramManager::incrementNaturalValue(long tag) {
    const Param* p = find(tag);
    if (!p) return;
    float n = p->natural.load(std::memory_order_relaxed);
    switch (p->type) {
    case kParamOnOff:
        n = (n == 0.0f) ? 1.0f : 0.0f;
        break;
    case kParamInteger:
    case kParamBeat:
    case kParamNote:
        n += 1.0f;
        if (n > p->max) n = p->min;
        break;
    default:
        n += 1.0f;
        if (n > p->max) n = p->max;
        break;
    }
    setNaturalValue(tag, n);
}

void zu_paramManager::decrementNaturalValue(long tag) {
    const Param* p = find(tag);
    if (!p) return;
    float n = p->natural.load(std::memory_order_relaxed);
    switch (p->type) {
    case kParamOnOff:
        n = (n == 0.0f) ? 1.0f : 0.0f;
        break;
    case kParamInteger:
    case kParamBeat:
        n -= 1.0f;
        if (n < p->min) n = p->max;
        break;
    default: // kParamNote stops at its bottom like every continuous law
        n -= 1.0f;
        if (n < p->min) n = p->min;
        break;
    }
    setNaturalValue(tag, n);
}

void zu_paramManager::setAuxValue(long tag, long aux) {
    Param* p = find(tag);
    if (p) p->aux.store(aux, std::memory_order_relaxed);
}

long zu_paramManager::getAuxValue(long tag) {
    const Param* p = find(tag);
    return p ? p->aux.load(std::memory_order_relaxed) : 0;
}

void zu_paramManager::setHostSynced(long tag, bool synced) {
    Param* p = find(tag);
    if (!p || !isSyncType(p->type)) return;
    p->aux.store(synced ? 1 : 0, std::memory_order_relaxed);
    // The natural value follows the new law.
    setVSTvalue(tag, p->vst.load(std::memory_order_relaxed));
}

bool zu_paramManager::getHostSynced(long tag) {
    const Param* p = find(tag);
    return p ? isSynced(*p) : false;
}

void zu_paramManager::setRandomizeable(long tag, bool randomizeable) {
    Param* p = find(tag);
    if (p) p->randomizeable.store(randomizeable, std::memory_order_relaxed);
}

bool zu_paramManager::canRandomize(long tag) {
    const Param* p = find(tag);
    return p ? p->randomizeable.load(std::memory_order_relaxed) : false;
}

void zu_paramManager::randomize(long tag) {
    const Param* p = find(tag);
    if (!p || !p->randomizeable.load(std::memory_order_relaxed)) return;
    const bool coin =
        p->type == kParamOnOff ||
        ((p->type == kParamInteger || p->type == kParamNote) && p->min == 0.0f && p->max == 1.0f);
    const int r = std::rand();
    float v;
    if (coin)
        v = (r & 1) ? 1.0f : 0.0f;
    else
        v = static_cast<float>(static_cast<double>(r) / 2147483648.0);
    if (v >= 1.0f && !coin) v = std::nextafter(1.0f, 0.0f);
    setVSTvalue(tag, v);
}

float zu_paramManager::getDSPValue(long tag) {
    const Param* p = find(tag);
    if (!p) return 0.0f;
    return dspValueFromNaturalValue(tag, p->natural.load(std::memory_order_relaxed));
}

float zu_paramManager::dspValueOfVSTvalue(long tag, float v) {
    if (!find(tag)) return 0.0f;
    if (std::isnan(v)) v = 0.0f; // as setVSTvalue stores it
    return dspValueFromNaturalValue(tag, naturalValueFromVSTvalue(tag, v));
}

float zu_paramManager::getModulatedDSPValue(long tag, float offset) {
    const Param* p = find(tag);
    if (!p) return 0.0f;
    float x = clampTo(p->vst.load(std::memory_order_relaxed) + offset, 0.0f, 1.0f);
    return dspValueFromNaturalValue(tag, naturalValueFromVSTvalue(tag, x));
}

float zu_paramManager::getDefaultValue(long tag) {
    const Param* p = find(tag);
    return p ? p->def : 0.0f;
}

float zu_paramManager::getMinimumValue(long tag) {
    const Param* p = find(tag);
    return p ? p->min : 0.0f;
}

float zu_paramManager::getMaximumValue(long tag) {
    const Param* p = find(tag);
    return p ? p->max : 0.0f;
}

zu_paramTypes zu_paramManager::getType(long tag) {
    const Param* p = find(tag);
    return p ? p->type : kParamLinear;
}

float zu_paramManager::getControlValue(long tag) {
    return controlUsesNaturalValue(tag) ? getNaturalValue(tag) : getVSTvalue(tag);
}

bool zu_paramManager::controlUsesNaturalValue(long) {
    return false;
}

// ---------------------------------------------------------------------------------------------
// Laws

float zu_paramManager::naturalValueFromVSTvalue(long tag, float v) {
    const Param* p = find(tag);
    if (!p) return 0.0f;
    const float lo = p->min, hi = p->max;
    switch (p->type) {
    case kParamLinear:
    case kParamPercent:
    case kParamFloat:
        return lo + (hi - lo) * v;
    case kParamOnOff:
        return v > 0.5f ? 1.0f : 0.0f;
    case kParamExponential:
    case kParamDecibel:
        return readTable(p->table, v);
    case kParamInteger:
    case kParamNote:
        return std::floor((hi - lo) * v + lo + 0.5f);
    case kParamBeat:
        return std::floor(v * 0.99f * 15.0f);
    case kParamSyncTime:
        if (isSynced(*p)) return std::floor(15.0f * v);
        return lo + (hi - lo) * v;
    case kParamSyncFreq:
        if (isSynced(*p)) return std::floor(15.0f * (1.0f - v));
        return readTable(p->table, v);
    case kParamSyncTimeNorm:
    case kParamSyncFreqNorm:
        return v;
    }
    return 0.0f;
}

float zu_paramManager::VSTvalueFromNaturalValue(long tag, float n) {
    const Param* p = find(tag);
    if (!p) return 0.0f;
    const float lo = p->min, hi = p->max;
    float v = 0.0f;
    switch (p->type) {
    case kParamLinear:
    case kParamPercent:
    case kParamFloat:
    case kParamInteger:
    case kParamNote:
        v = (n - lo) / (hi - lo);
        break;
    case kParamOnOff:
    case kParamSyncTimeNorm:
    case kParamSyncFreqNorm:
        v = n;
        break;
    case kParamExponential:
        v = static_cast<float>(std::log(double(n) / lo) / std::log(double(hi) / lo));
        break;
    case kParamDecibel:
        v = static_cast<float>(
            std::pow(10.0, (double(n) - (double(hi) - kDecibelHeadroom)) / kDecibelSpan) -
            kDecibelOffset);
        break;
    case kParamBeat:
        // The forward law (v · 0.99 · 15) tops out at index 14 and widens every step a little,
        // so n/15 would read back one index lower (8 -> v 0.533 -> 7) and a snapshot, memento or
        // host round trip would walk the value down. Spreading 0..14 over the whole range reads
        // back every index as itself, with the ends at 0 and 1.
        v = n / 14.0f;
        break;
    case kParamSyncTime:
        v = isSynced(*p) ? n / 15.0f : (n - lo) / (hi - lo);
        break;
    case kParamSyncFreq:
        if (isSynced(*p))
            // 1 - n/15 lies on the very edge of index n, where float rounding reads it back as
            // n - 1 (3 -> 0.8f -> floor(2.9999998) = 2); a hair inside the index keeps it n.
            v = 1.0f - (n + kSyncedIndexNudge) / 15.0f;
        else
            v = static_cast<float>(std::log(double(n) / lo) / std::log(double(hi) / lo));
        break;
    }
    return clampTo(v, 0.0f, 1.0f);
}

float zu_paramManager::decibelGain(float dB) {
    return std::pow(10.0f, dB / 20.0f);
}

float zu_paramManager::dspValueFromNaturalValue(long tag, float n) {
    const Param* p = find(tag);
    if (!p) return 0.0f;
    const float lo = p->min, hi = p->max;
    switch (p->type) {
    case kParamLinear:
    case kParamOnOff:
    case kParamFloat:
    case kParamExponential:
    case kParamInteger:
    case kParamNote:
        return clampTo(n, lo, hi);
    case kParamPercent:
        return clampTo(n, lo, hi) * 0.01f;
    case kParamDecibel:
        return decibelGain(clampTo(n, lo, hi));
    case kParamBeat:
        return gBeatMults[safeIndex(n, 16)];
    case kParamSyncTime:
        return isSynced(*p) ? gBeatMults[safeIndex(n, 16)] : n;
    case kParamSyncFreq:
        return isSynced(*p) ? 1.0f / gBeatMults[safeIndex(n, 16)] : n;
    case kParamSyncTimeNorm:
        if (isSynced(*p)) return gBeatMults[safeIndex(15.0f * n, 16)];
        return lo + (hi - lo) * n;
    case kParamSyncFreqNorm:
        if (isSynced(*p)) return 1.0f / gBeatMults[safeIndex(15.0f * (1.0f - n), 16)];
        return readTable(p->table, n);
    }
    return 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Names and text

void zu_paramManager::getName(long tag, char* dst, int len) {
    if (!dst || len < 0) return;
    const Param* p = find(tag);
    if (!p) {
        copyCut(dst, "", len);
        return;
    }
    copyCut(dst, len < 9 ? p->shortName.c_str() : p->longName.c_str(), len);
}

std::string zu_paramManager::getName(long tag) {
    const Param* p = find(tag);
    return p ? p->longName : std::string();
}

void zu_paramManager::getUnitsName(long tag, char* dst, int len) {
    if (!dst || len < 0) return;
    const Param* p = find(tag);
    if (!p) {
        copyCut(dst, "", len);
        return;
    }
    const char* text = p->units.c_str();
    switch (p->type) {
    case kParamSyncTime:
    case kParamSyncTimeNorm:
        text = isSynced(*p) ? "" : (len < 5 ? "ms" : "msec");
        break;
    case kParamSyncFreq:
    case kParamSyncFreqNorm:
        text = isSynced(*p) ? "" : "Hz";
        break;
    default:
        break;
    }
    copyCut(dst, text, len);
}

void zu_paramManager::getValueString(long tag, char* dst, int len) {
    getValueStringFromNaturalValue(tag, dst, getNaturalValue(tag), len);
}

void zu_paramManager::getValueStringFromNaturalValue(long tag, char* dst, float n, int len) {
    if (!dst || len <= 0) return;
    char work[kWorkLen];
    std::memset(work, 0, sizeof work);
    const Param* p = find(tag);
    if (p) {
        auto byMagnitude = [&work](float x) {
            const char* fmt = x < 1.0f     ? "%3.3f"
                              : x < 10.0f  ? "%4.2f"
                              : x < 100.0f ? "%4.1f"
                                           : "%4.0f";
            std::snprintf(work, sizeof work, fmt, double(x));
        };
        switch (p->type) {
        case kParamOnOff:
            std::snprintf(work, sizeof work, "%s", n > 0.5f ? "On" : "Off");
            break;
        case kParamFloat:
        case kParamExponential:
            byMagnitude(n);
            break;
        case kParamSyncFreq:
            // Synced: n is the metrical index (v = 1 - n/15 read back as 15·(1 - v)).
            if (isSynced(*p))
                std::snprintf(work, sizeof work, "%s", beatTimeStr[safeIndex(n + 0.5f, 16)]);
            else
                byMagnitude(n);
            break;
        case kParamSyncFreqNorm:
            if (isSynced(*p))
                std::snprintf(work, sizeof work, "%s",
                              beatTimeStr[safeIndex(15.0f * (1.0f - n), 16)]);
            else
                byMagnitude(n);
            break;
        case kParamInteger:
            std::snprintf(work, sizeof work, "%4d", safeTrunc(n));
            break;
        case kParamBeat:
            // beatTimeStr[trunc(15 · n/15)] is index n; rounding keeps float noise out of it.
            std::snprintf(work, sizeof work, "%s", beatTimeStr[safeIndex(n + 0.5f, 16)]);
            break;
        case kParamSyncTime:
            if (isSynced(*p))
                std::snprintf(work, sizeof work, "%s", beatTimeStr[safeIndex(n, 16)]);
            else
                std::snprintf(work, sizeof work, "%4.0f", double(n));
            break;
        case kParamSyncTimeNorm:
            if (isSynced(*p))
                std::snprintf(work, sizeof work, "%s", beatTimeStr[safeIndex(15.0f * n, 16)]);
            else
                std::snprintf(work, sizeof work, "%4.0f", double(p->min + (p->max - p->min) * n));
            break;
        case kParamNote: {
            long note = safeTrunc(n);
            long pitchClass = ((note % 12) + 12) % 12;
            long octave = (note - pitchClass) / 12 - 2;
            std::snprintf(work, sizeof work, "%s%ld", gNoteNames[pitchClass], octave);
            break;
        }
        default:
            std::snprintf(work, sizeof work, "%4.0f", double(n));
            break;
        }
    }
    copyCut(dst, work, len - 1);
}

void zu_paramManager::getValueStringFromVSTvalue(long tag, char* dst, float v, int len) {
    // The text is always formatted for an 8-character field; a smaller buffer is respected.
    const int fieldLen = (len > 0 && len < 8) ? len : 8;
    getValueStringFromNaturalValue(tag, dst, naturalValueFromVSTvalue(tag, v), fieldLen);
}

void zu_paramManager::getVSTvalueString(long tag, char* dst) {
    if (!dst) return;
    char work[kWorkLen];
    std::snprintf(work, sizeof work, "%f", double(getVSTvalue(tag)));
    copyCut(dst, work, 8);
}

void zu_paramManager::getTextEditString(long tag, char* dst, int len) {
    if (!dst) return;
    if (len <= 0) {
        dst[0] = 0;
        return;
    }
    getValueString(tag, dst, len);
    int out = 0;
    for (int in = 0; in < len && dst[in]; ++in)
        if (dst[in] != ' ') dst[out++] = dst[in];
    dst[out] = 0;
}

void zu_paramManager::floatToTimeStr(char* dst, float ms, int len) {
    if (!dst || len < 0) return;
    char work[kWorkLen];
    if (ms >= 1000.0f)
        std::snprintf(work, sizeof work, "%4.3f", double(ms) * 0.001);
    else
        std::snprintf(work, sizeof work, "%3.0f", double(ms));
    copyCut(dst, work, len);
}

bool zu_paramManager::naturalValueFromString(long tag, const char* text, float& n) {
    const Param* p = find(tag);
    if (!p) return false;
    bool understood = false;
    if (text) {
        if (p->type == kParamOnOff) {
            understood = false;
        } else if (p->type == kParamBeat || (p->type == kParamSyncTime && isSynced(*p))) {
            int index = 0;
            if (matchMetricalStr(text, index)) {
                n = static_cast<float>(index);
                understood = true;
            }
        } else {
            float parsed = 0.0f;
            if (std::sscanf(text, "%10f", &parsed) == 1) {
                n = parsed;
                understood = true;
            }
        }
    }
    n = clampTo(n, p->min, p->max);
    return understood;
}

bool zu_paramManager::matchMetricalStr(const char* text, int& index) {
    if (!text) return false;
    char compact[7] = {0};
    int out = 0;
    for (int i = 0; i < 6 && text[i]; ++i)
        if (text[i] != ' ') compact[out++] = text[i];
    for (int i = 0; i < kNumMetricalNames; ++i) {
        if (std::strcmp(compact, kMetricalNames[i]) == 0) {
            index = i;
            return true;
        }
    }
    return false;
}

const std::vector<std::string>& zu_paramManager::getMetricalNames() {
    static const std::vector<std::string> names(kMetricalNames, kMetricalNames + kNumMetricalNames);
    return names;
}

void zu_paramManager::getAllValueStrings(long tag, std::vector<std::string>& strings) {
    const Param* p = find(tag);
    if (!p || p->type != kParamInteger) return;
    strings.clear();
    const long lo = safeTrunc(p->min), hi = safeTrunc(p->max);
    char work[32];
    for (long i = lo; i <= hi && i - lo < kMaxValueStrings; ++i) {
        std::snprintf(work, sizeof work, "%ld", i);
        strings.push_back(work);
    }
}

// ---------------------------------------------------------------------------------------------
// States and mementos

int zu_paramManager::createState(const std::set<unsigned int>& tags) {
    std::vector<_pr> snapshot;
    snapshot.reserve(tags.size());
    for (unsigned int tag : tags) {
        const Param* p = find(static_cast<long>(tag));
        if (p) snapshot.push_back({tag, p->vst.load(std::memory_order_relaxed)});
    }
    mStates.push_back(std::move(snapshot));
    return static_cast<int>(mStates.size()) - 1;
}

void zu_paramManager::saveState(int index) {
    if (index < 0 || index >= static_cast<int>(mStates.size())) return;
    for (_pr& entry : mStates[static_cast<size_t>(index)])
        entry.value = getVSTvalue(static_cast<long>(entry.tag));
}

void zu_paramManager::restoreState(int index) {
    if (index < 0 || index >= static_cast<int>(mStates.size())) return;
    for (const _pr& entry : mStates[static_cast<size_t>(index)])
        setVSTvalue(static_cast<long>(entry.tag), entry.value);
}

paramMemento* zu_paramManager::createMemento() {
    paramMemento* memento = new paramMemento;
    std::vector<_pr> values;
    values.reserve(static_cast<size_t>(mCount));
    for (size_t tag = 0; tag < mParams.size(); ++tag)
        if (mParams[tag])
            values.push_back({static_cast<unsigned int>(tag),
                              mParams[tag]->vst.load(std::memory_order_relaxed)});
    memento->lists.push_back(std::move(values));
    for (const std::vector<_pr>& state : mStates)
        memento->lists.push_back(state);
    return memento;
}

void zu_paramManager::setMemento(const paramMemento* memento) {
    if (!memento || memento->lists.empty()) return;
    for (const _pr& entry : memento->lists.front())
        setVSTvalue(static_cast<long>(entry.tag), entry.value);
    mStates.assign(memento->lists.begin() + 1, memento->lists.end());
}
